#pragma once

#include <QSet>

#include "shell/connection.h"
#include "shell/form.h"

class DatasetModel;
class QAction;
class QFrame;
class QMenu;
class QPushButton;
class QStatusBar;
class QTableView;
class QTimer;
class RemoteDataset;

// The administrators' window: the list of every person with an account (those whose record
// changed after their last review marked), a clock with the row count, and the menus of every
// tool. Creating it opens the connection to the server.
class Tmain_manage : public Form {
  Q_OBJECT

 public:
  // Opens SocketConnection1 to `server`; throws RemoteError when that fails.
  explicit Tmain_manage(const ServerAddress& server, QWidget* parent = nullptr);
  ~Tmain_manage() override;

  QFrame* Panel1;
  QPushButton* BitBtn1;  // 筛   选
  QPushButton* BitBtn2;  // 查   询
  QFrame* Panel2;
  QTableView* DBGrid1;
  QStatusBar* StatusBar1;
  Connection& SocketConnection1;
  RemoteDataset* search;
  QTimer* Timer1;
  QMenu* N1;
  QAction *N2, *N3, *N4, *N5;
  QMenu* N6;
  QAction *N7, *N8, *N9, *N10;

  // Set by the show step, never cleared: the status text is written only once it is set.
  bool gridReady() const { return gridReady_; }

  void DBGrid1DblClick();
  void Timer1Timer();
  // Follows an announced change: the one person's lines are read again and put in place (the
  // rest of the list is not read again); with no person named, the whole list is.
  void followPersons(const std::optional<QString>& id);

 protected:
  void FormShow() override;
  void FormClose() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildMenu();
  // Connects a menu item or button to showing a form; disabled while that form is not built.
  void opens(QObject* trigger, const QString& formName);
  // Forms are created after this one: menu items and buttons whose form is not built are
  // disabled when the window is shown, so nothing pretends to work.
  void enableBuiltTargets();
  // Where a person belongs in a list in identity-number order (a binary search).
  int insertionPoint(const QString& id) const;
  // Reads which persons changed after their last review (administrators only: nobody else may
  // read it), read before the list so a list arriving in batches is not held up; with `id`,
  // only whether that person did.
  void readChangeMarks(const std::optional<QString>& id = std::nullopt);
  bool markedChanged(int row) const;

  DatasetModel* model_;
  QSet<QString> changedSinceReview_;  // trimmed identity numbers
  QList<std::pair<QObject*, QString>> targets_;
  bool gridReady_ = false;
};
