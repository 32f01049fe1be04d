#pragma once

#include <QSslConfiguration>
#include <QString>
#include <QStringList>

#include "server/status.h"

// The server's side of TLS: its certificate and key, and a self-signed pair for a school that
// has none.
namespace server::tls {

// The server configuration for a PEM certificate (chain) and its PEM private key (RSA or EC,
// unencrypted). Fails with a reason when either cannot be read or they do not belong together.
Result<QSslConfiguration> serverConfiguration(const QString& certFile, const QString& keyFile);

// Writes a new self-signed certificate valid for `names` (host names or addresses; empty: this
// machine's name, localhost, 127.0.0.1 and ::1) for `days`, and its private key, readable by
// the owner only. Each name must be a host name of letters, digits and hyphens in dot-separated
// labels (no wildcard) or an IPv4 or IPv6 address; the first that is not is named in the error
// and nothing is written. Existing files are never overwritten. Uses the `openssl` program.
Status makeCertificate(const QString& certFile, const QString& keyFile, QStringList names,
                       int days);

}  // namespace server::tls
