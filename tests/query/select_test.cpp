// The filter form: what 确定 composes from ticks and presets, against the texts the result
// window runs.
#include <QCheckBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "query/date_select.h"
#include "query/filter_query.h"
#include "shell/forms.h"
#include "tests/support/client/client_fixture.h"

namespace {

const QString kAdmin = QStringLiteral("110101199001011234");

Tselect* form() { return static_cast<Tselect*>(forms::find(u"select")); }

QString allTables(const QString& columns) {
  return "select distinct info.id as 身份证号" + columns +
         " from info,wycd,other_info,gzdd,gwxx,rjxx,xzzwqk,dnzwqk,zyjs,grjs"
         " where info.id=wycd.id and info.id=other_info.id and info.id=gzdd.id and "
         "info.id=gwxx.id and info.id=rjxx.id and info.id=xzzwqk.id and info.id=dnzwqk.id and "
         "info.id=zyjs.id and info.id=grjs.id";
}

}  // namespace

class SelectTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    fixture_.addAccount(kAdmin, QStringLiteral("管理员"), 0, QStringLiteral("secret"));
    fixture_.signIn(kAdmin, QStringLiteral("secret"));
    forms::show(u"select");
  }

  void init() {
    // Back to the state of a fresh form: no preset, only the fixed box ticked.
    for (int n = 1; n <= 89; ++n) form()->CheckBox(n)->setChecked(n == filter::kFixedBox);
    for (int n : {1, 2, 3, 4, 6, 7, 8}) {
      form()->RadioButton(n)->setAutoExclusive(false);
      form()->RadioButton(n)->setChecked(false);
      form()->RadioButton(n)->setAutoExclusive(true);
    }
    forms::close(u"data_report");
  }

  void composes_data() {
    QTest::addColumn<int>("preset");        // radio button clicked first; 0: none
    QTest::addColumn<QList<int>>("ticks");  // boxes then toggled
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing but the identity number") << 0 << QList<int>{} << allTables("");
    QTest::newRow("worked example: 个人履历")
        << 2 << QList<int>{}
        << "select distinct grll.id_num,info.name as 姓名,grll.id as 身份证号,grll.start_sj as "
           "起始时间,grll.end_sj as 结束时间,grll.dw as 所在单位,grll.bm as 所在部门,grll.xzzw as "
           "行政职务,grll.zwjb as 职务级别 from grll,info where info.id=grll.id order by grll.id";
    QTest::newRow("preset 基本信息表")
        << 1 << QList<int>{}
        << allTables(
               ",info.name as 姓名,info.mz as 民族,info.date as 出生日期,info.zzmm as 政治面貌,"
               "info.tel_mob as 移动电话,info.zym as 曾用名,info.sex as 性别,info.jg_se as 省,"
               "info.jg_si as 市,info.jg_xa as 县,info.yyzk as 婚姻状况,info.dpsj as 参加党派时间,"
               "wycd.zgxl as 最高学历,wycd.zgxlzy as 最高学历专业,wycd.xljg as 学历机构,"
               "wycd.zgxw as 最高学位,wycd.dyxl as 第一学历,wycd.dyxlzy as 第一学历专业,"
               "wycd.pthdj as 普通话等级,other_info.tel as 电话,other_info.yb as 邮编,"
               "other_info.zjxy as 宗教信仰,other_info.email as 电子信箱,"
               "other_info.address as 地址,other_info.pexm as 配偶姓名,"
               "other_info.pedw as 配偶工作单位,other_info.shjz as 社会兼职,"
               "other_info.xsttjz as 学术团体兼职,gzdd.year as 参加工作年月,gzdd.gn as 工龄,"
               "gzdd.cjny as 从教年月,gzdd.jn as 教龄,gzdd.jxsj as 进校时间,gzdd.jxfs as 进校方式,"
               "gzdd.ly_shen as 来源地区省,gzdd.ly_shi as 来源地区市,gzdd.ly_lb as 来源地区类别,"
               "gwxx.gwzgzs as 岗位资格证书,gwxx.zsbh as 证书编号,gwxx.zszq as 证书日期,"
               "gwxx.zgjg as 资格认定机构,rjxx.rjxk as 任教学科,rjxx.kss as 周平均课时数,"
               "xzzwqk.xzzw as 行政职务,xzzwqk.rzny as 任职年月,dnzwqk.dnzw as 党内职务,"
               "dnzwqk.rzny_dn as 任职年月,zyjs.zyjszc as 专业技术职称,zyjs.sj as 取得时间,"
               "grjs.grjsdj as 工人技术等级,grjs.sj_gr as 取得时间");
    QTest::newRow("preset 奖惩考核")
        << 8 << QList<int>{}
        << "select distinct jzgjckh.id_num,info.name as 姓名,jzgjckh.id as 身份证号,jzgjckh.ch as "
           "称号,jzgjckh.dj as 等级,jzgjckh.rjxk as 任教学科,jzgjckh.sj as 授予时间,jzgjckh.dw as "
           "授予单位 from jzgjckh,info where info.id=jzgjckh.id order by jzgjckh.id";
    QTest::newRow("preset 社会关系: the relative's name first")
        << 6 << QList<int>{}
        << "select distinct shgx.id_num,info.name as 姓名,shgx.id as 身份证号,shgx.name as 姓名,"
           "shgx.cw as 称谓,shgx.zw as 职务,shgx.gzdw as 工作单位,shgx.address as 地址,shgx.tel as "
           "电话 from shgx,info where info.id=shgx.id order by shgx.id";
    QTest::newRow("preset 学历教育")
        << 7 << QList<int>{}
        << "select distinct jyqk.id_num,info.name as 姓名,jyqk.id as 身份证号,jyqk.rxny as "
           "入学年月,"
           "jyqk.byny as 毕业年月,jyqk.byxx as 毕业学校,jyqk.xl as 学历,jyqk.xlsm as 学历说明,"
           "jyqk.zy as 专业,jyqk.xxfs as 学习方式,jyqk.xw as 学位,jyqk.xwsj as 学位时间,jyqk.xwgj "
           "as 学位授予国家,jyqk.xwdw as 学位授予单位 from jyqk,info where info.id=jyqk.id order "
           "by "
           "jyqk.id";
    QTest::newRow("preset 境内培训")
        << 3 << QList<int>{}
        << "select distinct jnpx.id_num,info.name as 姓名,jnpx.id as 身份证号,jnpx.start_sj as "
           "起始时间,jnpx.end_sj as 结束时间,jnpx.xss as 学时数,jnpx.jb as 培训级别,jnpx.xs as "
           "形式,jnpx.nr as 内容,jnpx.dw as 培训单位 from jnpx,info where info.id=jnpx.id order by "
           "jnpx.id";
    QTest::newRow("preset 境外培训")
        << 4 << QList<int>{}
        << "select distinct jwpx.id_num,info.name as 姓名,jwpx.id as 身份证号,jwpx.start_sj as "
           "起始时间,jwpx.end_sj as 结束时间,jwpx.nr as 内容,jwpx.dw as 单位,jwpx.gj as 国家地区 "
           "from jwpx,info where info.id=jwpx.id order by jwpx.id";
    QTest::newRow("group 1 and a history group: the history query alone")
        << 0 << QList<int>{1, 55}
        << "select distinct grll.id_num,info.name as 姓名,grll.id as 身份证号,grll.start_sj as "
           "起始时间 from grll,info where info.id=grll.id order by grll.id";
    QTest::newRow("two history groups: the later decides")
        << 0 << QList<int>{56, 85}
        << "select distinct jwpx.id_num,info.name as 姓名,jwpx.id as 身份证号,jwpx.end_sj as "
           "结束时间 from jwpx,info where info.id=jwpx.id order by jwpx.id";
    QTest::newRow("only the relative's name")
        << 0 << QList<int>{89}
        << "select distinct shgx.id_num,info.name as 姓名,shgx.id as 身份证号,shgx.name as 姓名 "
           "from shgx,info where info.id=shgx.id order by shgx.id";
    QTest::newRow("社会兼职 before 学术团体兼职")
        << 0 << QList<int>{26, 27}
        << allTables(",other_info.shjz as 社会兼职,other_info.xsttjz as 学术团体兼职");
    QTest::newRow("a preset, then its boxes changed by hand")
        << 2 << QList<int>{55, 60, 1}
        << "select distinct grll.id_num,info.name as 姓名,grll.id as 身份证号,grll.end_sj as "
           "结束时间,grll.dw as 所在单位,grll.bm as 所在部门,grll.xzzw as 行政职务 from grll,info "
           "where info.id=grll.id order by grll.id";
  }

  void composes() {
    QFETCH(int, preset);
    QFETCH(QList<int>, ticks);
    QFETCH(QString, text);
    if (preset) form()->RadioButton(preset)->click();
    for (int box : ticks) form()->CheckBox(box)->click();
    form()->BitBtn1->click();
    QCOMPARE(filter::text(), text);
    QVERIFY(forms::find(u"data_report")->isVisible());
    QVERIFY(form()->isVisible());
    QCOMPARE(fixture_.dialogs.errors, QStringList());
  }

  void presetUnticksEverythingElse() {
    form()->CheckBox(30)->setChecked(true);
    form()->RadioButton(3)->click();  // 境内培训
    QList<int> ticked;
    for (int n = 1; n <= 89; ++n)
      if (form()->CheckBox(n)->isChecked()) ticked << n;
    QCOMPARE(ticked, (QList<int>{77, 78, 79, 80, 81, 82, 83}));
    QVERIFY(!form()->CheckBox(filter::kFixedBox)->isEnabled());
    form()->RadioButton(1)->click();  // 基本信息表 ticks the fixed box again
    QVERIFY(form()->CheckBox(filter::kFixedBox)->isChecked());
    QVERIFY(!form()->CheckBox(50)->isChecked() && form()->CheckBox(49)->isChecked());
  }

  void ticksSurviveClosing() {
    form()->CheckBox(61)->setChecked(true);
    form()->BitBtn2->click();
    QVERIFY(!form()->isVisible());
    forms::show(u"select");
    QVERIFY(form()->CheckBox(61)->isChecked());
  }

 private:
  ClientFixture fixture_;
};

QTEST_MAIN(SelectTest)
#include "select_test.moc"
