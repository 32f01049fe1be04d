#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

// What the window-less commands (`staffinfo export|import|print …`) share: the options that say
// where and as whom to sign in, and the sign-in itself. Administrators script these; the
// password comes as one line on standard input, never on the command line.
namespace headless {

// Adds --server [tls://|tcp://]HOST[:PORT], --ca FILE and --user ID to a command's parser.
void addSignInOptions(QCommandLineParser& parser);

// Connects the shared connection to --server (else $STAFFINFO_SERVER, else 127.0.0.1:7070;
// TLS off loopback, verified against --ca or the system's store),
// reads the password from standard input and signs in as --user, filling the sign-in state as
// the login form does. Throws RemoteError with a reason fit to print when any step fails
// (no --user, bad address, no password, refused sign-in, a role without windows to match).
void signIn(const QCommandLineParser& parser);

// Prints "staffinfo: <text>" to standard error.
void complain(const QString& text);

}  // namespace headless
