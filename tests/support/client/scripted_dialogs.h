#pragma once

#include <QQueue>
#include <QStringList>

#include "shell/dialogs.h"

// The dialog service of the client tests: records every text a message box would have shown,
// answers questions and file dialogs from scripted queues (Yes and "" when a queue is empty).
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
  QString saveFileName(QWidget*, const QString&, const QString&) override {
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
  }

  // Everything shown, in order, then forgotten.
  void clear() {
    messages.clear();
    errors.clear();
    questions.clear();
  }

  QStringList messages;
  QStringList errors;
  QStringList questions;
  QQueue<bool> answers;
  QQueue<QString> fileNames;
};
