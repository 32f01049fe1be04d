#include "records/info.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include "records/fields.h"
#include "schema/choices.h"
#include "schema/values.h"
#include "shell/dialogs.h"
#include "shell/forms.h"
#include "shell/signin.h"
#include "shell/widgets.h"

namespace {

using P = Tinfo_basic;
using records::combo;
using records::edit;
using records::inLine;
using records::kYearMonthHint;
namespace choices = schema::choices;

const QString kHistoryForm = QStringLiteral("change_history");

// The signed-in identity number with its own marital-status handling.
const QString kSpecialId = QStringLiteral("990000190001010000");
const QString kSpecialMarital = QStringLiteral("未婚");

// The thirty inputs in load and save order, table by table.
const QList<records::Control<P>>& controls() {
  static const QList<records::Control<P>> table = {
      {&P::Edit1, edit("Edit1", "姓名", "info", "name")},
      {&P::Edit2, edit("Edit2", "身份证号", "info", "id")},
      {&P::Edit3, edit("Edit3", "民族", "info", "mz")},
      {&P::edit4, combo("edit4", "政治面貌", "info", "zzmm", choices::party(), "中共党员")},
      {&P::Edit5, edit("Edit5", "移动电话", "info", "tel_mob")},
      {&P::Edit6, edit("Edit6", "曾用名", "info", "zym")},
      {&P::edit7, combo("edit7", "性别", "info", "sex", choices::sex(), "男")},
      {&P::Edit8, inLine("Edit8", "籍贯", "省", "info", "jg_se")},
      {&P::Edit9, inLine("Edit9", "籍贯", "市", "info", "jg_si")},
      {&P::Edit10, inLine("Edit10", "籍贯", "县（区）", "info", "jg_xa")},
      {&P::edit11, combo("edit11", "婚姻状况", "info", "yyzk", choices::marital(), "已婚")},
      {&P::Edit12, edit("Edit12", "参加党派时间", "info", "dpsj", kYearMonthHint)},
      {&P::Edit30, edit("Edit30", "出生日期", "info", "date", kYearMonthHint)},

      {&P::edit13,
       combo("edit13", "最高学历", "wycd", "zgxl", choices::education(), "大学本科毕业")},
      {&P::Edit14, edit("Edit14", "获得最高学历的院校和机构", "wycd", "xljg")},
      {&P::Edit15, edit("Edit15", "获得最高学位的院校和机构", "wycd", "xwjg")},
      {&P::edit16, combo("edit16", "最高学位", "wycd", "zgxw", choices::degree(), "工学学士学位")},
      {&P::edit17,
       combo("edit17", "第一学历专业", "wycd", "dyxlzy", choices::major(), "计算机科学教育")},
      {&P::edit18,
       combo("edit18", "最高学历专业", "wycd", "zgxlzy", choices::major(), "计算机科学教育")},
      {&P::edit19,
       combo("edit19", "第一学历", "wycd", "dyxl", choices::education(), "大学本科毕业")},
      {&P::edit20, combo("edit20", "普通话等级", "wycd", "pthdj", choices::mandarin(), "二级乙等")},

      {&P::Edit21, edit("Edit21", "电话", "other_info", "tel")},
      {&P::Edit22, edit("Edit22", "宗教信仰", "other_info", "zjxy")},
      {&P::Edit23, edit("Edit23", "住址", "other_info", "address")},
      {&P::Edit24, edit("Edit24", "配偶工作单位", "other_info", "pedw")},
      {&P::Edit25, edit("Edit25", "学术团体兼职", "other_info", "xsttjz")},
      {&P::Edit26, edit("Edit26", "邮编", "other_info", "yb")},
      {&P::Edit27, edit("Edit27", "电子信箱", "other_info", "email")},
      {&P::Edit28, edit("Edit28", "配偶姓名", "other_info", "pexm")},
      {&P::Edit29, edit("Edit29", "社会兼职", "other_info", "shjz")},
  };
  return table;
}

const QList<records::DateTest<P>>& dateTests() {
  static const QList<records::DateTest<P>> tests = {
      {&P::Edit12, &P::Edit12Exit,
       QStringLiteral(
           "输入的党派时间的格式不正确！格式是年月，如：198001。需要6位数字！请重新输入！"),
       &P::edit4, QStringLiteral("群众"), false},
      {&P::Edit30, &P::Edit30Exit,
       QStringLiteral(
           "输入的出生日期时间的格式不正确！格式是年月，如：198001。需要6位数字！请重新输入！")},
  };
  return tests;
}

}  // namespace

Tinfo_basic::Tinfo_basic(QWidget* parent)
    : RecordPage(QStringLiteral("info_basic"), QStringLiteral("基本信息"), parent) {
  addInputs(this, controls());
  BitBtn1 = widgets::button(QStringLiteral("BitBtn1"), QStringLiteral("编辑"), this);
  BitBtn2 = widgets::button(QStringLiteral("BitBtn2"), QStringLiteral("保存"), this);
  BitBtn3 = widgets::button(QStringLiteral("BitBtn3"), QStringLiteral("下一页"), this);
  BitBtn4 = widgets::button(QStringLiteral("BitBtn4"), QStringLiteral("变更记录"), this);
  layOut({{QStringLiteral("info"), QStringLiteral("基本信息")},
          {QStringLiteral("wycd"), QStringLiteral("文化程度")},
          {QStringLiteral("other_info"), QStringLiteral("其他个人信息")}},
         {BitBtn1, BitBtn2, BitBtn3, BitBtn4}, BitBtn1, BitBtn2);
  addDateTests(this, dateTests());

  onClick(BitBtn1, &P::BitBtn1Click);
  onClick(BitBtn2, &P::BitBtn2Click);
  onClick(BitBtn3, &P::BitBtn3Click);
  onClick(BitBtn4, &P::BitBtn4Click);
  // The box's text however it changes (typed, chosen, completed inline); text the form sets
  // itself blocks the signal and is not a change.
  connect(edit11, &QComboBox::editTextChanged, this,
          [this] { guarded(this, [this] { edit11Change(); }); });
}

void Tinfo_basic::FormShow() {
  setEditing(false);
  BitBtn4->setEnabled(forms::find(kHistoryForm) != nullptr);
  const SignIn& state = SignIn::state();
  loadRows(state.currentPersonId);
  if (state.identityNumber == kSpecialId) {
    const QSignalBlocker quiet(edit11);
    edit11->clear();
    edit11->addItems({kSpecialMarital, QStringLiteral("和Mirel结婚"), QStringLiteral("其他")});
    edit11->setEditText(kSpecialMarital);
  }
}

void Tinfo_basic::BitBtn1Click() { setEditing(true); }

void Tinfo_basic::BitBtn2Click() {
  if (schema::trim(Edit1->text()).isEmpty()) {
    showMessage(this, QStringLiteral("姓名不能为空"));
    return;
  }
  // The key is the identity number standing in the form, not the current person id.
  const QString key = schema::trim(Edit2->text());
  if (key.isEmpty()) {
    showMessage(this, QStringLiteral("身份证号不能为空"));
    return;
  }
  saveRows(key);
  finishSave(key);
}

QString Tinfo_basic::adjustStored(const QString& column, bool found, const QString& value) {
  if (column == u"yyzk" && found && SignIn::state().identityNumber == kSpecialId)
    return kSpecialMarital;
  return value;
}

void Tinfo_basic::BitBtn3Click() { forms::show(u"info_other"); }

// The changes to the record of the person the page shows, read afresh.
void Tinfo_basic::BitBtn4Click() {
  SignIn::state().currentPersonId = personKey();
  forms::showAfresh(kHistoryForm);
}

void Tinfo_basic::Edit12Exit() { testYearMonth(Edit12); }

void Tinfo_basic::Edit30Exit() { testYearMonth(Edit30); }

void Tinfo_basic::edit11Change() {
  const QString text = edit11->currentText();
  if (text != u"其他") return;
  showMessage(this, QStringLiteral("想干什么，想干什么，没得选了!给你机会了!"));
  // The list shrinks to one item; the box keeps reading "其他".
  const QSignalBlocker quiet(edit11);
  edit11->clear();
  edit11->addItem(QStringLiteral("必须和Mirel结"));
  edit11->setEditText(text);
}

void Tinfo_basic::FormClose() {
  if (SignIn::state().isOrdinaryUser()) forms::close(u"user_login");
  clearInputs();
}
