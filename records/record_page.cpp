#include "records/record_page.h"

#include <QApplication>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "schema/values.h"
#include "shell/dialogs.h"
#include "shell/notifier.h"
#include "shell/person_row.h"
#include "shell/remote_dataset.h"
#include "shell/remote_error.h"
#include "shell/signin.h"
#include "shell/widgets.h"

namespace records {

namespace {

const QString kId = QStringLiteral("id");
constexpr int kBoxWidth = 190;      // every input of a page is as wide
constexpr int kLineBoxWidth = 120;  // the boxes of a line, before their unit words

QString providerOf(const QString& table) { return QStringLiteral("DataSetProvider_") + table; }

// Eats the mouse click whose press took the focus out of a refused date box, so the button or
// box that was clicked does not act while the focus is back in the date box. That press is
// still being delivered when this is made; if none comes before the event loop runs again
// (the focus moved by the wheel), nothing is eaten. A new press after the eaten one (its
// release lost to a modal message box) passes untouched.
class ClickSwallower : public QObject {
 public:
  explicit ClickSwallower(QObject* parent) : QObject(parent) {
    qApp->installEventFilter(this);
    QTimer::singleShot(0, this, [this] {
      if (!pressEaten_) finish();
    });
  }

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override {
    if (done_ || !receiver->isWidgetType()) return false;
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
        if (pressEaten_) {
          finish();
          return false;
        }
        pressEaten_ = true;
        return true;
      case QEvent::MouseButtonRelease:
        finish();
        return pressEaten_;
      default:
        return false;
    }
  }

 private:
  void finish() {
    if (done_) return;
    done_ = true;
    qApp->removeEventFilter(this);
    deleteLater();
  }

  bool pressEaten_ = false;
  bool done_ = false;
};

}  // namespace

RecordPage::RecordPage(const QString& name, const QString& caption, QWidget* parent)
    : Form(name, parent) {
  setWindowTitle(caption);
}

QComboBox* RecordPage::makeCombo(const Field& field) {
  QComboBox* combo = widgets::comboBox(field.name, *field.items, field.preset, this);
  inputs_.append({field, combo});
  return combo;
}

QLineEdit* RecordPage::makeEdit(const Field& field) {
  QLineEdit* edit = widgets::lineEdit(field.name, this);
  inputs_.append({field, edit});
  return edit;
}

QString RecordPage::textOf(const QWidget* input) {
  if (auto* combo = qobject_cast<const QComboBox*>(input)) return combo->currentText();
  return static_cast<const QLineEdit*>(input)->text();
}

void RecordPage::setTextOf(QWidget* input, const QString& text) {
  // Text the page sets is no change of the user's: a drop-down's reaction does not run.
  const QSignalBlocker quiet(input);
  if (auto* combo = qobject_cast<QComboBox*>(input))
    combo->setEditText(text);
  else
    static_cast<QLineEdit*>(input)->setText(text);
}

void RecordPage::layOut(const QList<Group>& groups, const QList<QPushButton*>& buttons,
                        QPushButton* editButton, QPushButton* saveButton, bool personLine) {
  groups_ = groups;
  editButton_ = editButton;
  saveButton_ = saveButton;
  for (const Group& group : groups) {
    auto* rows = new RemoteDataset(providerOf(group.table), this);
    rows->setObjectName(group.table);
    rows_ << rows;
  }
  auto* page = new QVBoxLayout(this);
  if (personLine) {
    personLine_ = new QLabel(this);
    personLine_->setObjectName(QStringLiteral("personLine"));
    page->addWidget(personLine_);
  }
  // Two fields to a row, each as label, box, note; a line of boxes takes a row of its own.
  // Every grid column is as wide as its widest cell on the page, so the groups line up.
  constexpr int kColumns = 6;
  QList<QGridLayout*> grids;
  int widths[kColumns] = {};
  auto place = [&](QGridLayout* grid, QWidget* widget, int row, int column) {
    grid->addWidget(widget, row, column);
    widths[column] = std::max(widths[column], widget->sizeHint().width());
  };
  for (const Group& group : groups) {
    QGridLayout* grid = nullptr;
    page->addWidget(widgets::group(group.caption, &grid, this));
    grids << grid;
    int cell = 0;
    QHash<QString, QHBoxLayout*> lines;
    for (const Input& input : std::as_const(inputs_)) {
      const Field& f = input.field;
      if (f.table != group.table) continue;
      input.widget->setFixedWidth(f.inLine ? kLineBoxWidth : kBoxWidth);
      if (f.inLine) {
        QHBoxLayout*& line = lines[f.label];
        if (!line) {
          cell += cell % 2;
          line = new QHBoxLayout;
          place(grid, widgets::label(f.label, input.widget, this), cell / 2, 0);
          grid->addLayout(line, cell / 2, 1, 1, kColumns - 1);
          cell += 2;
        }
        line->addWidget(input.widget);
        line->addWidget(widgets::label(f.note, input.widget, this));
        line->addSpacing(8);
        input.widget->setAccessibleName(f.label + f.note);
        continue;
      }
      const int row = cell / 2;
      const int column = (cell % 2) * 3;
      place(grid, widgets::label(f.label, input.widget, this), row, column);
      place(grid, input.widget, row, column + 1);
      if (!f.note.isEmpty()) place(grid, new QLabel(f.note, this), row, column + 2);
      ++cell;
    }
    for (QHBoxLayout* line : std::as_const(lines)) line->addStretch();
  }
  for (QGridLayout* grid : std::as_const(grids)) {
    for (int column = 0; column < kColumns; ++column)
      grid->setColumnMinimumWidth(column, widths[column]);
    grid->setColumnStretch(kColumns, 1);
  }
  auto* bar = new QHBoxLayout;
  bar->addStretch();
  for (QPushButton* button : buttons) bar->addWidget(button);
  bar->addStretch();
  page->addLayout(bar);
  editButton_->setEnabled(false);
  saveButton_->setEnabled(false);
  fixSizeAndCentre();
}

QList<Field> RecordPage::fields() const {
  QList<Field> all;
  for (const Input& input : inputs_) all.append(input.field);
  return all;
}

void RecordPage::setEditing(bool editing) {
  // Cleared first: disabling a focused date box moves the focus, which must not test it.
  editing_ = editing && loaded_;
  for (const Input& input : std::as_const(inputs_)) input.widget->setEnabled(editing_);
  saveButton_->setEnabled(editing_);
}

void RecordPage::clearInputs() {
  for (const Input& input : std::as_const(inputs_)) setTextOf(input.widget, QString());
}

void RecordPage::readRows(const QString& key) {
  key_ = key;
  for (RemoteDataset* rows : std::as_const(rows_)) {
    rows->close();
    rows->setPersonKey(key);
    rows->open();
  }
}

void RecordPage::loadRows(const QString& key) {
  loaded_ = false;
  setEditing(false);
  editButton_->setEnabled(false);
  if (personLine_) personLine_->setText(QStringLiteral("身份证号：%1").arg(key));
  readRows(key);
  for (int g = 0; g < groups_.size(); ++g) {
    if (!locatePerson(*rows_[g], key)) continue;
    for (const Input& input : std::as_const(inputs_))
      if (input.field.table == groups_[g].table)
        setTextOf(input.widget, schema::shownValue(rows_[g]->field(input.field.column)));
  }
  loaded_ = true;
  editButton_->setEnabled(true);
}

QString RecordPage::adjustStored(const QString&, bool, const QString& value) { return value; }

void RecordPage::saveRows(const QString& key) {
  if (!loaded_) throw RemoteError(QStringLiteral("页面数据未能读取，不能保存，请关闭后重新打开"));
  // Another number than the one loaded (typed into the basic page) saves to that person's rows.
  if (key != key_) readRows(key);
  try {
    for (int g = 0; g < groups_.size(); ++g) {
      RemoteDataset& rows = *rows_[g];
      const bool found = editOrAppendPerson(rows, key);
      const bool idIsInput = std::any_of(inputs_.cbegin(), inputs_.cend(), [&](const Input& i) {
        return i.field.table == groups_[g].table && i.field.column == kId;
      });
      if (!found && !idIsInput) rows.setField(kId, key);
      for (const Input& input : std::as_const(inputs_)) {
        const Field& f = input.field;
        if (f.table != groups_[g].table) continue;
        // A found row is this person's already: its stored number is kept as it is.
        if (f.column == kId && found) continue;
        const QString value = f.column == kId ? key : schema::storedValue(textOf(input.widget));
        rows.setField(f.column, adjustStored(f.column, found, value));
      }
      rows.post();
    }
    applyTogether(rows_);
  } catch (...) {
    for (RemoteDataset* rows : std::as_const(rows_))
      if (rows->active()) rows->cancelUpdates();
    throw;
  }
}

void RecordPage::finishSave(const QString& key) {
  showMessage(this, QStringLiteral("修改成功!"));
  setEditing(false);
  if (!SignIn::state().isOrdinaryUser()) notifier::personChanged(key);
}

void RecordPage::watchDate(WatchedDate date) {
  date.box->installEventFilter(this);
  dates_.append(std::move(date));
}

void RecordPage::testYearMonth(QLineEdit* box) {
  const auto date = std::find_if(dates_.cbegin(), dates_.cend(),
                                 [box](const WatchedDate& d) { return d.box == box; });
  if (date == dates_.cend()) return;
  if (date->exemptBy) {
    const QString governing = date->exemptBy->currentText();
    if ((date->trimExempt ? schema::trim(governing) : governing) == date->exemptText) return;
  }
  if (schema::isYearMonth(box->text())) return;
  testFailed_ = true;
  // The message box taking the focus and the focus coming back are not exits to test.
  const QScopedValueRollback<bool> running(testing_, true);
  showMessage(this, date->message);
  box->clear();
  box->setFocus(Qt::OtherFocusReason);
}

bool RecordPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::FocusOut || !editing_ || testing_)
    return Form::eventFilter(watched, event);
  // Only a move to another control of this window is an exit: a window or popup taking the
  // focus (a message box among them) is not.
  const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
  if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason ||
      reason == Qt::MenuBarFocusReason)
    return Form::eventFilter(watched, event);
  for (const WatchedDate& date : std::as_const(dates_)) {
    if (date.box != watched || !date.box->isEnabled()) continue;
    testFailed_ = false;
    guarded(this, date.handler);
    if (testFailed_ && reason == Qt::MouseFocusReason) new ClickSwallower(this);
    break;
  }
  return Form::eventFilter(watched, event);
}

}  // namespace records
