#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QList>
#include <QStringList>
#include <functional>
#include <type_traits>
#include <variant>

#include "shell/form.h"

class QLabel;
class QPushButton;
class RemoteDataset;

// What the single-row record pages share: their inputs held as a table of data (control,
// label, column, preset, list, hint), one loop that loads a person's rows into them and one
// that writes them back table by table, the read-only/editing switch, and the year-month
// test run when the focus leaves a date box.
namespace records {

// One input of a page: its control, where it stands and which column it edits.
struct Field {
  QString name;   // objectName, the same as the page's member
  QString label;  // label text; for boxes sharing one line, the line's caption ("籍贯")
  QString table;
  QString column;
  const QStringList* items = nullptr;  // the drop-down list; nullptr for a line edit
  QString preset;                      // text a drop-down shows before anything is loaded
  QString note;  // label after the box: a hint ("(格式:年月,如:198001)") or a unit word ("省")
  // Boxes of one line: every box with `inLine` whose label matches the first such box in its
  // group stands on that box's line, each followed by its note.
  bool inLine = false;
};

// Binds a Field to the page member that holds its control.
template <class Page>
struct Control {
  std::variant<QLineEdit * Page::*, QComboBox * Page::*> member;
  Field field;
};

// The year-month test of one date box, run when the focus leaves it while editing.
template <class Page>
struct DateTest {
  QLineEdit* Page::*box;
  void (Page::*handler)();  // the box's Exit handler
  QString message;
  // The box is not tested while this drop-down reads `exemptText` (trimmed first when
  // `trimExempt`); nullptr: always tested.
  QComboBox* Page::*exemptBy = nullptr;
  QString exemptText = {};
  bool trimExempt = true;
};

// A group box of the page: one table, in load and save order.
struct Group {
  QString table;
  QString caption;
};

class RecordPage : public Form {
  Q_OBJECT

 public:
  // Editing: every input and the save button enabled. Read-only: all disabled. A page whose
  // last load failed cannot edit.
  void setEditing(bool editing);
  bool editing() const { return editing_; }
  // The person whose rows the page shows: saves go to this person's rows only.
  const QString& personKey() const { return key_; }
  // The page's inputs as data, in load and save order.
  QList<Field> fields() const;

 protected:
  RecordPage(const QString& name, const QString& caption, QWidget* parent);

  // Creates the controls of `controls`, in order, into the page's members.
  template <class Page>
  void addInputs(Page* page, const QList<Control<Page>>& controls) {
    for (const Control<Page>& c : controls)
      std::visit(
          [&](auto member) {
            using Widget = std::remove_pointer_t<std::remove_reference_t<decltype(page->*member)>>;
            if constexpr (std::is_same_v<Widget, QComboBox>)
              page->*member = makeCombo(c.field);
            else
              page->*member = makeEdit(c.field);
          },
          c.member);
  }

  // Watches the date boxes: leaving one while editing runs its handler (see testYearMonth).
  template <class Page>
  void addDateTests(Page* page, const QList<DateTest<Page>>& tests) {
    for (const DateTest<Page>& t : tests)
      watchDate({page->*t.box, t.message, t.exemptBy ? page->*t.exemptBy : nullptr, t.exemptText,
                 t.trimExempt, [page, h = t.handler] { (page->*h)(); }});
  }

  // Lays out one group box per table, in order, with the buttons in a bar under them. The
  // edit button is enabled only after a successful load, the save button only while editing.
  // With `personLine`, a line above the groups names the person shown. Fixes the size and
  // centres the window.
  void layOut(const QList<Group>& groups, const QList<QPushButton*>& buttons,
              QPushButton* editButton, QPushButton* saveButton, bool personLine = false);

  // Reads the person's rows of every group's table and fills the inputs from them (null shows
  // "无", other values trimmed); a table without a row for `key` leaves its inputs as they
  // are. The rows read are what a later save is checked against. Until a load succeeds the
  // page cannot edit.
  void loadRows(const QString& key);
  // Writes every group's table in one apply, all or nothing: the person's row is edited, or
  // appended with `id` set to `key`; each column takes its input by the saving rule (empty →
  // "无", else trimmed). The rows are those loaded (for another `key`, read now), so a row
  // someone else changed or deleted since is refused by the server. A refusal throws
  // RemoteError with nothing written and the rows back as loaded.
  void saveRows(const QString& key);
  // Lets a page change a value on its way to the database; `found` tells edit from append.
  virtual QString adjustStored(const QString& column, bool found, const QString& value);

  // After a save of `key`: "修改成功!", read-only, and the main list follows unless the role is 2.
  void finishSave(const QString& key);
  // Empties every input; drop-downs keep their lists.
  void clearInputs();

  // The year-month test of a watched box: unless exempt, text that is not six GBK bytes
  // after trimming shows the box's message, empties the box and puts the focus back.
  void testYearMonth(QLineEdit* box);

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Input {
    Field field;
    QWidget* widget;
  };
  struct WatchedDate {
    QLineEdit* box;
    QString message;
    QComboBox* exemptBy;
    QString exemptText;
    bool trimExempt;
    std::function<void()> handler;
  };

  QComboBox* makeCombo(const Field& field);
  QLineEdit* makeEdit(const Field& field);
  void watchDate(WatchedDate date);
  static QString textOf(const QWidget* input);
  static void setTextOf(QWidget* input, const QString& text);

  // Reads `key`'s rows of every group's table into rows_.
  void readRows(const QString& key);

  QList<Input> inputs_;
  QList<Group> groups_;
  QList<RemoteDataset*> rows_;  // one per group: the person's rows as loaded
  QString key_;
  bool loaded_ = false;
  QLabel* personLine_ = nullptr;
  QPushButton* editButton_ = nullptr;
  QList<WatchedDate> dates_;
  QPushButton* saveButton_ = nullptr;
  bool editing_ = false;
  bool testing_ = false;     // a year-month test is running: focus changes are its own
  bool testFailed_ = false;  // the last test refused its box
};

}  // namespace records
