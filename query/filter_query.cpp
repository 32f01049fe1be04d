#include "query/filter_query.h"

namespace filter {

namespace {

// A history query lists every row of its table with the person's name and identity number.
Query history(const char* table, int radio, const char* preset) {
  const QString t = QString::fromLatin1(table);
  return {QStringLiteral("select distinct %1.id_num,info.name as 姓名,%1.id as 身份证号").arg(t),
          QStringLiteral(" from %1,info where info.id=%1.id order by %1.id").arg(t), radio,
          QString::fromUtf8(preset)};
}

}  // namespace

const QList<Query>& queries() {
  static const QList<Query> all = {
      {QStringLiteral("select distinct info.id as 身份证号"),
       QStringLiteral(" from info,wycd,other_info,gzdd,gwxx,rjxx,xzzwqk,dnzwqk,zyjs,grjs"
                      " where info.id=wycd.id and info.id=other_info.id and info.id=gzdd.id"
                      " and info.id=gwxx.id and info.id=rjxx.id"
                      " and info.id=xzzwqk.id and info.id=dnzwqk.id and info.id=zyjs.id"
                      " and info.id=grjs.id"),
       1, QStringLiteral("基本信息表")},
      history("jzgjckh", 8, "奖惩考核"),
      history("grll", 2, "个人履历"),
      history("shgx", 6, "社会关系"),
      history("jyqk", 7, "学历教育"),
      history("jnpx", 3, "境内培训"),
      history("jwpx", 4, "境外培训"),
  };
  return all;
}

const QList<Group>& groups() {
  static const QList<Group> all = {
      {1, QStringLiteral("基本信息表"), 0},      {2, QStringLiteral("文化程度"), 0},
      {3, QStringLiteral("其它个人信息"), 0},    {4, QStringLiteral("工作调动情况"), 0},
      {5, QStringLiteral("岗位信息"), 0},        {6, QStringLiteral("任教信息"), 0},
      {7, QStringLiteral("行政职务情况"), 0},    {8, QStringLiteral("党内职务情况"), 0},
      {9, QStringLiteral("专业技术职称"), 0},    {10, QStringLiteral("工人技术等级情况"), 0},
      {11, QStringLiteral("教职工奖惩考核"), 1}, {12, QStringLiteral("个人履历"), 2},
      {13, QStringLiteral("社会关系"), 3},       {14, QStringLiteral("受教育情况"), 4},
      {15, QStringLiteral("境内培训情况"), 5},   {16, QStringLiteral("境外培训情况"), 6},
  };
  return all;
}

const QList<Box>& boxes() {
  static const QList<Box> all = {
      {1, 1, "姓名", ",info.name as 姓名"},
      {1, 2, "身份证号", ""},
      {1, 3, "民族", ",info.mz as 民族"},
      {1, 4, "出生日期", ",info.date as 出生日期"},
      {1, 5, "政治面貌", ",info.zzmm as 政治面貌"},
      {1, 6, "移动电话", ",info.tel_mob as 移动电话"},
      {1, 7, "曾用名", ",info.zym as 曾用名"},
      {1, 8, "性别", ",info.sex as 性别"},
      {1, 9, "籍贯", ",info.jg_se as 省,info.jg_si as 市,info.jg_xa as 县"},
      {1, 10, "婚姻", ",info.yyzk as 婚姻状况"},
      {1, 11, "参加党派时间", ",info.dpsj as 参加党派时间"},
      {2, 12, "最高学历", ",wycd.zgxl as 最高学历"},
      {2, 13, "最高学历专业", ",wycd.zgxlzy as 最高学历专业"},
      {2, 14, "学历机构", ",wycd.xljg as 学历机构"},
      {2, 15, "最高学位", ",wycd.zgxw as 最高学位"},
      {2, 16, "第一学历", ",wycd.dyxl as 第一学历"},
      {2, 17, "第一学历专业", ",wycd.dyxlzy as 第一学历专业"},
      {2, 18, "普通话等级", ",wycd.pthdj as 普通话等级"},
      {3, 19, "电话", ",other_info.tel as 电话"},
      {3, 20, "邮编", ",other_info.yb as 邮编"},
      {3, 21, "宗教信仰", ",other_info.zjxy as 宗教信仰"},
      {3, 22, "电子信箱", ",other_info.email as 电子信箱"},
      {3, 23, "住址", ",other_info.address as 地址"},
      {3, 24, "配偶姓名", ",other_info.pexm as 配偶姓名"},
      {3, 25, "配偶工作单位", ",other_info.pedw as 配偶工作单位"},
      {3, 27, "社会兼职", ",other_info.shjz as 社会兼职"},
      {3, 26, "学术团体兼职", ",other_info.xsttjz as 学术团体兼职"},
      {4, 28, "参加工作年月", ",gzdd.year as 参加工作年月"},
      {4, 29, "工龄", ",gzdd.gn as 工龄"},
      {4, 30, "从教年月", ",gzdd.cjny as 从教年月"},
      {4, 31, "教龄", ",gzdd.jn as 教龄"},
      {4, 32, "进校时间", ",gzdd.jxsj as 进校时间"},
      {4, 33, "进校方式", ",gzdd.jxfs as 进校方式"},
      {4, 34, "来源地区", ",gzdd.ly_shen as 来源地区省,gzdd.ly_shi as 来源地区市"},
      {4, 35, "来源地区类别", ",gzdd.ly_lb as 来源地区类别"},
      {5, 36, "岗位资格证书", ",gwxx.gwzgzs as 岗位资格证书"},
      {5, 37, "证书编号", ",gwxx.zsbh as 证书编号"},
      {5, 38, "证书日期", ",gwxx.zszq as 证书日期"},
      {5, 39, "资格认定机构", ",gwxx.zgjg as 资格认定机构"},
      {6, 40, "任教学科", ",rjxx.rjxk as 任教学科"},
      {6, 41, "课时数（周平均）", ",rjxx.kss as 周平均课时数"},
      {7, 42, "行政职务", ",xzzwqk.xzzw as 行政职务"},
      {7, 43, "任职年月", ",xzzwqk.rzny as 任职年月"},
      {8, 44, "党内职务", ",dnzwqk.dnzw as 党内职务"},
      {8, 45, "任职年月", ",dnzwqk.rzny_dn as 任职年月"},
      {9, 46, "专业技术职称", ",zyjs.zyjszc as 专业技术职称"},
      {9, 47, "取得时间", ",zyjs.sj as 取得时间"},
      {10, 48, "工人技术等级", ",grjs.grjsdj as 工人技术等级"},
      {10, 49, "取得时间", ",grjs.sj_gr as 取得时间"},

      {11, 50, "称号", ",jzgjckh.ch as 称号"},
      {11, 51, "等级", ",jzgjckh.dj as 等级"},
      {11, 52, "任教学科", ",jzgjckh.rjxk as 任教学科"},
      {11, 53, "授予时间", ",jzgjckh.sj as 授予时间"},
      {11, 54, "授予单位", ",jzgjckh.dw as 授予单位"},
      {12, 55, "起始时间", ",grll.start_sj as 起始时间"},
      {12, 56, "结束时间", ",grll.end_sj as 结束时间"},
      {12, 57, "所在单位", ",grll.dw as 所在单位"},
      {12, 58, "所在部门", ",grll.bm as 所在部门"},
      {12, 59, "行政职务", ",grll.xzzw as 行政职务"},
      {12, 60, "职务级别", ",grll.zwjb as 职务级别"},
      {13, 89, "姓名", ",shgx.name as 姓名"},
      {13, 61, "称谓", ",shgx.cw as 称谓"},
      {13, 62, "职务", ",shgx.zw as 职务"},
      {13, 63, "工作单位", ",shgx.gzdw as 工作单位"},
      {13, 64, "地址", ",shgx.address as 地址"},
      {13, 65, "电话", ",shgx.tel as 电话"},
      {14, 66, "入学年月", ",jyqk.rxny as 入学年月"},
      {14, 67, "毕业年月", ",jyqk.byny as 毕业年月"},
      {14, 68, "毕业学校", ",jyqk.byxx as 毕业学校"},
      {14, 69, "学历", ",jyqk.xl as 学历"},
      {14, 70, "学历说明", ",jyqk.xlsm as 学历说明"},
      {14, 71, "专业", ",jyqk.zy as 专业"},
      {14, 72, "学习方式", ",jyqk.xxfs as 学习方式"},
      {14, 73, "学位", ",jyqk.xw as 学位"},
      {14, 74, "学位时间", ",jyqk.xwsj as 学位时间"},
      {14, 75, "学位授予国家", ",jyqk.xwgj as 学位授予国家"},
      {14, 76, "学位授予单位", ",jyqk.xwdw as 学位授予单位"},
      {15, 77, "起始时间", ",jnpx.start_sj as 起始时间"},
      {15, 78, "结束时间", ",jnpx.end_sj as 结束时间"},
      {15, 79, "学时数", ",jnpx.xss as 学时数"},
      {15, 80, "培训级别", ",jnpx.jb as 培训级别"},
      {15, 81, "形式", ",jnpx.xs as 形式"},
      {15, 82, "内容", ",jnpx.nr as 内容"},
      {15, 83, "培训单位", ",jnpx.dw as 培训单位"},
      {16, 84, "起始时间", ",jwpx.start_sj as 起始时间"},
      {16, 85, "结束时间", ",jwpx.end_sj as 结束时间"},
      {16, 86, "内容", ",jwpx.nr as 内容"},
      {16, 87, "单位", ",jwpx.dw as 单位"},
      {16, 88, "国家/地区", ",jwpx.gj as 国家地区"},
  };
  return all;
}

const Group& groupOf(const Box& box) {
  for (const Group& g : groups())
    if (g.number == box.group) return g;
  Q_ASSERT_X(false, "filter::groupOf", "a box outside every group");
  return groups().front();
}

QString compose(const std::function<bool(int box)>& ticked) {
  // Each query as it would read with its ticked boxes; a history query counts only when one of
  // its boxes is ticked, and the last one that counts is the text.
  QStringList pieces(queries().size());
  QList<bool> counts(queries().size(), false);
  counts[0] = true;
  for (const Box& box : boxes()) {
    if (!ticked(box.number)) continue;
    const int q = groupOf(box).query;
    pieces[q] += box.text;
    counts[q] = true;
  }
  for (qsizetype q = queries().size() - 1;; --q)
    if (counts[q]) return queries()[q].head + pieces[q] + queries()[q].tail;
}

QString& text() {
  static QString filterText;
  return filterText;
}

}  // namespace filter
