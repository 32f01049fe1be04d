#include "shell/forms.h"

#include "shell/form.h"
#include "shell/signin.h"

namespace forms {

namespace {
QList<Form*>& registry() {
  static QList<Form*> list;
  return list;
}
}  // namespace

void add(Form* form) { registry().append(form); }

Form* find(QStringView name) {
  for (Form* form : registry())
    if (form->objectName() == name) return form;
  return nullptr;
}

const QList<Form*>& all() { return registry(); }

void show(QStringView name) {
  if (Form* form = find(name)) form->show();
}

void hide(QStringView name) {
  if (Form* form = find(name)) form->hide();
}

void close(QStringView name) {
  if (Form* form = find(name)) form->close();
}

void showAfresh(QStringView name) {
  Form* form = find(name);
  if (!form) return;
  if (form->isVisible()) form->close();
  form->show();
}

void openPerson(const QString& personId) {
  SignIn::state().currentPersonId = personId;
  show(u"info_basic");
}

void printPreview(QStringView name, const QString& personId) {
  if (Form* form = find(name)) form->printPreview(personId);
}

void clear() {
  // Taken out first: a form's destructor may still look others up.
  while (!registry().isEmpty()) delete registry().takeLast();
}

}  // namespace forms
