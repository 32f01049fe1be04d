#pragma once

#include <QList>
#include <QString>

class QPushButton;
class QWidget;

namespace accounts {

// An input and the text of its label.
struct Labelled {
  QString label;
  QWidget* input;
};

// Lays out an account form: each input on its own line after its label (which becomes the
// input's buddy), the buttons in a centred bar under them, then `below` (a grid) when given.
void layOut(QWidget* form, const QList<Labelled>& inputs, const QList<QPushButton*>& buttons,
            QWidget* below = nullptr);

}  // namespace accounts
