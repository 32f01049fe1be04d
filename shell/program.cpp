#include "shell/program.h"

#include <QCoreApplication>

namespace {
bool ended = false;
}

void endProgram() {
  ended = true;
  QCoreApplication::exit(0);
}

bool programEnded() { return ended; }

void resetProgramEnded() { ended = false; }
