#pragma once

#include <QQueue>
#include <QStringList>
#include <functional>

#include "shell/dialogs.h"

// The dialog service of the client tests: records every text a message box would have shown,
// answers questions, file dialogs and previews from scripted queues (Yes, "" and 确定 when a
// queue is empty), records previews, and answers cancel from the `cancelAfter`-th progress
// report on (never when negative).
class ScriptedDialogs : public Dialogs {
 public:
  ScriptedDialogs() { install(this); }
  ~ScriptedDialogs() override { install(nullptr); }

  void message(QWidget*, const QString& text) override { messages << text; }
  void error(QWidget*, const QString& text) override { errors << text; }
  bool question(QWidget*, const QString& text) override {
    questions << text;
    return answers.isEmpty() ? true : answers.dequeue();
  }
  QString openFileName(QWidget*, const QString&, const QString&) override {
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
  }
  QString saveFileName(QWidget*, const QString&, const QString&, const QString& folder) override {
    saveFolders << folder;
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
  }

  bool preview(QWidget*, const QString& text, const QStringList&,
               const QList<QStringList>& rows) override {
    previews << Preview{text, rows};
    if (onPreview) onPreview();
    return previewAnswers.isEmpty() ? true : previewAnswers.dequeue();
  }
  std::unique_ptr<Progress> progress(QWidget*, const QString&, qint64) override {
    return std::make_unique<Counted>(*this);
  }

  // Everything shown, in order, then forgotten.
  void clear() {
    messages.clear();
    errors.clear();
    questions.clear();
    previews.clear();
    advances.clear();
    saveFolders.clear();
  }

  struct Preview {
    QString text;
    QList<QStringList> rows;
  };

  QStringList messages;
  QStringList errors;
  QStringList questions;
  QQueue<bool> answers;
  QQueue<QString> fileNames;
  QStringList saveFolders;  // the folder every save dialog was opened in
  QList<Preview> previews;
  QQueue<bool> previewAnswers;
  std::function<void()> onPreview;  // runs while a preview is open
  QList<qint64> advances;           // every `done` reported, in order
  int cancelAfter = -1;

 private:
  class Counted : public Progress {
   public:
    explicit Counted(ScriptedDialogs& owner) : owner_(owner) {}
    bool advance(qint64 done) override {
      owner_.advances << done;
      return owner_.cancelAfter < 0 || owner_.advances.size() < owner_.cancelAfter;
    }

   private:
    ScriptedDialogs& owner_;
  };
};
