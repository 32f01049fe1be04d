#pragma once

// Ends the event loop, and with it the program (exit status 0). Called when the main form is
// closed. programEnded() tells whether that happened, for the forms' tests.
void endProgram();
bool programEnded();
void resetProgramEnded();
