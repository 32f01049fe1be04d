#pragma once

#include <QList>
#include <QString>

class Form;

// The forms of the run, by name, in creation order. Forms never include one another: a form
// shows, hides or closes another through this registry. Program start fills it; the registry
// owns the forms.
namespace forms {

// Registers `form` and takes ownership of it.
void add(Form* form);
// The form of that name, or nullptr when no such form is built.
Form* find(QStringView name);
const QList<Form*>& all();
// Shows, hides or closes the named form; does nothing for an unknown name.
void show(QStringView name);
void hide(QStringView name);
void close(QStringView name);
// Closes the named form when it is visible and shows it again, so its show step runs for the
// current state (another current person); does nothing for an unknown name.
void showAfresh(QStringView name);
// Makes `personId` the current person and shows the first record page, as a double-click on a
// list of persons does.
void openPerson(const QString& personId);
// Opens the named form's print preview of a person (Form::printPreview); does nothing for an
// unknown name.
void printPreview(QStringView name, const QString& personId);
// Destroys every form, the last created first (tests build a fresh set).
void clear();

}  // namespace forms
