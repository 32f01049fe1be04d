#include "shell/signin.h"

SignIn& SignIn::state() {
  static SignIn signIn;
  return signIn;
}
