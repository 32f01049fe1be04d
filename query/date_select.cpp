#include "query/date_select.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "query/filter_query.h"
#include "shell/forms.h"
#include "shell/widgets.h"

namespace {

constexpr int kBoxesPerLine = 3;
constexpr int kGroupsPerLine = 2;  // for each of the two halves: all tables, history tables
constexpr int kPresetBox = 17;

QString numbered(const char* name, int number) {
  return QString::fromLatin1(name) + QString::number(number);
}

}  // namespace

Tselect::Tselect(QWidget* parent) : Form(QStringLiteral("select"), parent) {
  setWindowTitle(QStringLiteral("筛选数据"));

  // The group boxes of the all-tables query fill the left half, the history groups the right.
  auto* tables = new QGridLayout;
  QMap<int, QGridLayout*> inside;
  int placed[2] = {0, 0};
  for (const filter::Group& g : filter::groups()) {
    QGridLayout* grid = nullptr;
    QGroupBox* box = widgets::group(g.caption, &grid, this);
    box->setObjectName(numbered("GroupBox", g.number));
    groupBoxes_.insert(g.number, box);
    inside.insert(g.number, grid);
    const int half = g.query == 0 ? 0 : 1;
    const int n = placed[half]++;
    tables->addWidget(box, n / kGroupsPerLine, n % kGroupsPerLine + half * kGroupsPerLine);
  }
  for (const filter::Box& b : filter::boxes()) {
    auto* check = new QCheckBox(b.caption, groupBoxes_[b.group]);
    check->setObjectName(numbered("CheckBox", b.number));
    checkBoxes_.insert(b.number, check);
    QGridLayout* grid = inside[b.group];
    const int n = grid->count();
    grid->addWidget(check, n / kBoxesPerLine, n % kBoxesPerLine);
  }
  for (QGridLayout* grid : inside) grid->setRowStretch(grid->rowCount(), 1);
  QCheckBox* fixed = CheckBox(filter::kFixedBox);
  fixed->setChecked(true);
  fixed->setEnabled(false);

  QGridLayout* presetLine = nullptr;
  QGroupBox* presets = widgets::group(QStringLiteral("默认选择"), &presetLine, this);
  presets->setObjectName(numbered("GroupBox", kPresetBox));
  groupBoxes_.insert(kPresetBox, presets);
  QMap<int, QString> captions;  // by radio number, which is their order on the form
  for (const filter::Query& q : filter::queries()) captions.insert(q.radio, q.preset);
  for (auto it = captions.begin(); it != captions.end(); ++it) {
    auto* radio = new QRadioButton(it.value(), presets);
    radio->setObjectName(numbered("RadioButton", it.key()));
    radioButtons_.insert(it.key(), radio);
    presetLine->addWidget(radio, 0, presetLine->count());
    const int number = it.key();
    connect(radio, &QRadioButton::toggled, this, [this, number](bool selected) {
      if (selected) guarded(this, [this, number] { RadioButtonClick(number); });
    });
  }

  BitBtn1 = widgets::button(QStringLiteral("BitBtn1"), QStringLiteral("确定"), this);
  BitBtn2 = widgets::button(QStringLiteral("BitBtn2"), QStringLiteral("退出"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(tables);
  layout->addWidget(presets);
  layout->addLayout(buttons);
  fixSizeAndCentre();

  onClick(BitBtn1, &Tselect::BitBtn1Click);
  onClick(BitBtn2, &Tselect::BitBtn2Click);
}

void Tselect::RadioButtonClick(int number) {
  for (QCheckBox* box : std::as_const(checkBoxes_)) box->setChecked(false);
  if (!RadioButton(number)->isChecked()) return;
  for (const filter::Box& b : filter::boxes())
    if (filter::queries()[filter::groupOf(b).query].radio == number)
      CheckBox(b.number)->setChecked(true);
}

void Tselect::BitBtn1Click() {
  filter::text() = filter::compose([this](int box) { return CheckBox(box)->isChecked(); });
  forms::show(u"data_report");
}

void Tselect::BitBtn2Click() { close(); }
