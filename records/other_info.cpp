#include "records/other_info.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

#include "records/fields.h"
#include "schema/choices.h"
#include "shell/forms.h"
#include "shell/signin.h"
#include "shell/widgets.h"

namespace {

using P = Tinfo_other;
using records::combo;
using records::edit;
using records::inLine;
using records::kYearMonthHint;
namespace choices = schema::choices;

// The twenty-four inputs in load and save order, table by table.
const QList<records::Control<P>>& controls() {
  static const QList<records::Control<P>> table = {
      {&P::Edit1, edit("Edit1", "参加工作年月", "gzdd", "year", kYearMonthHint)},
      {&P::Edit2, edit("Edit2", "从教年月", "gzdd", "cjny", kYearMonthHint)},
      {&P::Edit3, edit("Edit3", "进校时间", "gzdd", "jxsj", kYearMonthHint)},
      {&P::Edit4, inLine("Edit4", "来源地区", "省", "gzdd", "ly_shen")},
      {&P::Edit5, edit("Edit5", "工龄", "gzdd", "gn", QStringLiteral("(2014-参加工作年+1)"))},
      {&P::Edit6, edit("Edit6", "教龄", "gzdd", "jn", QStringLiteral("(工龄-1)"))},
      {&P::edit7,
       combo("edit7", "进校方式", "gzdd", "jxfs", choices::joinWay(), "录用师范类应届毕业生")},
      {&P::edit8, combo("edit8", "来源地区类别", "gzdd", "ly_lb", choices::originKind(), "城市")},
      {&P::Edit23, inLine("Edit23", "来源地区", "市", "gzdd", "ly_shi")},

      {&P::edit9, combo("edit9", "岗位资格证书", "gwxx", "gwzgzs", choices::certificate(),
                        "高级中学教师资格")},
      {&P::Edit10, edit("Edit10", "证书颁发日期", "gwxx", "zszq", kYearMonthHint)},
      {&P::Edit11, edit("Edit11", "证书编号", "gwxx", "zsbh")},
      {&P::Edit12, edit("Edit12", "资格认定机构", "gwxx", "zgjg")},

      {&P::edit13,
       combo("edit13", "任教学科", "rjxx", "rjxk", choices::teachingSubject(), "高中信息技术")},
      {&P::Edit14, edit("Edit14", "周平均课时数", "rjxx", "kss")},
      {&P::Edit24, edit("Edit24", "班主任工作年限", "rjxx", "bzrgznx")},

      {&P::edit15, combo("edit15", "行政职务", "xzzwqk", "xzzw", choices::adminPost(), "无")},
      {&P::Edit16, edit("Edit16", "任职年月", "xzzwqk", "rzny", kYearMonthHint)},

      {&P::edit17, combo("edit17", "党内职务", "dnzwqk", "dnzw", choices::partyPost(), "无")},
      {&P::Edit18, edit("Edit18", "任职年月", "dnzwqk", "rzny_dn", kYearMonthHint)},

      {&P::edit19,
       combo("edit19", "专业技术职务1", "zyjs", "zyjszc", choices::title(), "未定职级")},
      {&P::Edit20, edit("Edit20", "取得时间", "zyjs", "sj", kYearMonthHint)},

      {&P::edit21, combo("edit21", "工人技术等级", "grjs", "grjsdj", choices::workerGrade(), "无")},
      {&P::Edit22, edit("Edit22", "取得时间", "grjs", "sj_gr", kYearMonthHint)},
  };
  return table;
}

// Edit1 to Edit3 and Edit10 are always tested; the post and grade dates not while the box
// beside them says there is none.
const QList<records::DateTest<P>>& dateTests() {
  static const QList<records::DateTest<P>> tests = {
      {&P::Edit1, &P::Edit1Exit,
       QStringLiteral("输入的参加工作时间的格式不正确！格式是年月，如：198001。需要6位数字！"
                      "请重新输入！")},
      {&P::Edit2, &P::Edit2Exit,
       QStringLiteral("输入的从教年月时间的格式不正确！格式是年月，如：198001。需要6位数字！"
                      "请重新输入！")},
      {&P::Edit3, &P::Edit3Exit,
       QStringLiteral("输入的进校时间的格式不正确！格式是年月，如：198001。需要6位数字！"
                      "请重新输入！")},
      {&P::Edit10, &P::Edit10Exit,
       QStringLiteral("输入的证书颁发日期的时间格式不正确！格式是年月，如：198001。需要6位数字！"
                      "请重新输入！如果不知道，随便填写6位数字，以后再修改！！")},
      {&P::Edit16, &P::Edit16Exit,
       QStringLiteral("输入的任职年月的时间格式不正确！格式是年月，如：198001。需要6位数字！"
                      "请重新输入！"),
       &P::edit15, QStringLiteral("无")},
      {&P::Edit18, &P::Edit18Exit,
       QStringLiteral("输入的党内任职年月的时间格式不正确！格式是年月，如：198001。需要6位数字！"
                      "请重新输入！"),
       &P::edit17, QStringLiteral("无")},
      {&P::Edit20, &P::Edit20Exit,
       QStringLiteral("输入的专业技术职务的取得时间的格式不正确！格式是年月，如：198001。"
                      "需要6位数字！请重新输入！"),
       &P::edit19, QStringLiteral("未定职级")},
      {&P::Edit22, &P::Edit22Exit,
       QStringLiteral("输入的工人技术等级的取得时间的格式不正确！格式是年月，如：198001。"
                      "需要6位数字！请重新输入！"),
       &P::edit21, QStringLiteral("无")},
  };
  return tests;
}

const QString kExperienceForm = QStringLiteral("khjl");

}  // namespace

Tinfo_other::Tinfo_other(QWidget* parent)
    : RecordPage(QStringLiteral("info_other"), QStringLiteral("工作情况及职务职称信息表"), parent) {
  addInputs(this, controls());
  BitBtn1 = widgets::button(QStringLiteral("BitBtn1"), QStringLiteral("编辑"), this);
  BitBtn2 = widgets::button(QStringLiteral("BitBtn2"), QStringLiteral("保存"), this);
  BitBtn3 = widgets::button(QStringLiteral("BitBtn3"), QStringLiteral("上一页"), this);
  BitBtn4 = widgets::button(QStringLiteral("BitBtn4"), QStringLiteral("下一页"), this);
  layOut({{QStringLiteral("gzdd"), QStringLiteral("工作调动情况")},
          {QStringLiteral("gwxx"), QStringLiteral("岗位信息")},
          {QStringLiteral("rjxx"), QStringLiteral("任教情况")},
          {QStringLiteral("xzzwqk"), QStringLiteral("行政职务情况")},
          {QStringLiteral("dnzwqk"), QStringLiteral("党内职务情况")},
          {QStringLiteral("zyjs"), QStringLiteral("专业技术职称情况")},
          {QStringLiteral("grjs"), QStringLiteral("工人技术等级情况")}},
         {BitBtn1, BitBtn2, BitBtn3, BitBtn4}, BitBtn1, BitBtn2, true);
  addDateTests(this, dateTests());

  onClick(BitBtn1, &P::BitBtn1Click);
  onClick(BitBtn2, &P::BitBtn2Click);
  onClick(BitBtn3, &P::BitBtn3Click);
  onClick(BitBtn4, &P::BitBtn4Click);
}

void Tinfo_other::FormShow() {
  setEditing(false);
  // The experience records form is built by program start after this one, or not at all.
  BitBtn4->setEnabled(forms::find(kExperienceForm) != nullptr);
  loadRows(SignIn::state().currentPersonId);
}

void Tinfo_other::BitBtn1Click() { setEditing(true); }

void Tinfo_other::BitBtn2Click() {
  // The person this page loaded, even when another person has been opened since.
  saveRows(personKey());
  finishSave(personKey());
}

void Tinfo_other::BitBtn3Click() { forms::show(u"info_basic"); }

void Tinfo_other::BitBtn4Click() { forms::show(kExperienceForm); }

void Tinfo_other::Edit1Exit() { testYearMonth(Edit1); }
void Tinfo_other::Edit2Exit() { testYearMonth(Edit2); }
void Tinfo_other::Edit3Exit() { testYearMonth(Edit3); }
void Tinfo_other::Edit10Exit() { testYearMonth(Edit10); }
void Tinfo_other::Edit16Exit() { testYearMonth(Edit16); }
void Tinfo_other::Edit18Exit() { testYearMonth(Edit18); }
void Tinfo_other::Edit20Exit() { testYearMonth(Edit20); }
void Tinfo_other::Edit22Exit() { testYearMonth(Edit22); }

void Tinfo_other::FormClose() { clearInputs(); }
