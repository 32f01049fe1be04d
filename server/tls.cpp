#include "server/tls.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslKey>
#include <QSysInfo>
#include <algorithm>

namespace server::tls {

namespace {

std::optional<QByteArray> readAll(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return file.readAll();
}

QSslKey privateKey(const QByteArray& pem) {
  for (QSsl::KeyAlgorithm algorithm : {QSsl::Ec, QSsl::Rsa, QSsl::Dsa}) {
    QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
    if (!key.isNull()) return key;
  }
  return QSslKey();
}

// An address without a scope, as the certificate holds it; nullopt for anything else.
std::optional<QHostAddress> addressOf(const QString& name) {
  const QHostAddress address(name);
  if (address.isNull() || !address.scopeId().isEmpty()) return std::nullopt;
  return address;
}

// A host name: labels of 1 to 63 letters, digits and hyphens, neither first nor last a hyphen,
// joined by dots, 253 characters at most. The last label is not all digits, so a mistyped
// address is not taken for a name.
bool isHostName(const QString& name) {
  static const QRegularExpression label(
      QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$"));
  static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
  if (name.isEmpty() || name.size() > 253) return false;
  const QStringList labels = name.split(u'.');
  return std::all_of(labels.begin(), labels.end(),
                     [](const QString& part) { return label.match(part).hasMatch(); }) &&
         !digits.match(labels.last()).hasMatch();
}

// subjectAltName entries: addresses as IP, the rest as DNS names. The names were checked, so
// no name can add an entry of its own.
QString altNames(const QStringList& names) {
  QStringList entries;
  for (const QString& name : names) {
    const std::optional<QHostAddress> address = addressOf(name);
    entries << (address ? QStringLiteral("IP:") + address->toString()
                        : QStringLiteral("DNS:") + name);
  }
  return entries.join(u',');
}

}  // namespace

Result<QSslConfiguration> serverConfiguration(const QString& certFile, const QString& keyFile) {
  if (!QSslSocket::supportsSsl()) return Error{QStringLiteral("本机的 Qt 没有可用的 TLS 支持")};
  const QList<QSslCertificate> chain = QSslCertificate::fromPath(certFile, QSsl::Pem);
  if (chain.isEmpty()) return Error{QStringLiteral("无法读取证书文件 %1").arg(certFile)};
  const std::optional<QByteArray> keyPem = readAll(keyFile);
  const QSslKey key = keyPem ? privateKey(*keyPem) : QSslKey();
  if (key.isNull())
    return Error{QStringLiteral("无法读取私钥文件 %1（须为未加密的 PEM）").arg(keyFile)};
  QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
  configuration.setLocalCertificateChain(chain);
  configuration.setPrivateKey(key);
  configuration.setPeerVerifyMode(QSslSocket::VerifyNone);  // clients sign in with passwords
  configuration.setProtocol(QSsl::TlsV1_2OrLater);
  return configuration;
}

Status makeCertificate(const QString& certFile, const QString& keyFile, QStringList names,
                       int days) {
  for (const QString& path : {certFile, keyFile})
    if (QFile::exists(path)) return Error{QStringLiteral("文件已存在，不会覆盖：%1").arg(path)};
  if (names.isEmpty()) {
    names = {QStringLiteral("localhost"), QStringLiteral("127.0.0.1"), QStringLiteral("::1")};
    // A machine name that is no host name is left out rather than refused.
    if (const QString machine = QSysInfo::machineHostName(); isHostName(machine))
      names.prepend(machine);
  }
  for (const QString& name : names)
    if (!isHostName(name) && !addressOf(name))
      return Error{QStringLiteral("不接受的名称 \"%1\"：证书只能用于主机名（字母、数字、连字符，"
                                  "以点分隔）或 IP 地址")
                       .arg(name)};
  names.removeDuplicates();

  // The key file exists, readable by the owner only, before a key is written into it.
  QFile key(keyFile);
  if (!key.open(QIODevice::WriteOnly) ||
      !key.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
    return Error{QStringLiteral("无法写入私钥文件 %1：%2").arg(keyFile, key.errorString())};
  key.close();

  QProcess openssl;
  openssl.start(QStringLiteral("openssl"),
                {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                 QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                 QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                 QStringLiteral("-sha256"), QStringLiteral("-days"), QString::number(days),
                 QStringLiteral("-subj"), QStringLiteral("/CN=") + names.front(),
                 QStringLiteral("-addext"), QStringLiteral("subjectAltName=") + altNames(names),
                 QStringLiteral("-keyout"), keyFile, QStringLiteral("-out"), certFile});
  const bool ran = openssl.waitForFinished(60000) && openssl.exitStatus() == QProcess::NormalExit &&
                   openssl.exitCode() == 0;
  if (!ran) {
    const QString reason = openssl.error() == QProcess::FailedToStart
                               ? QStringLiteral("找不到 openssl 程序")
                               : QString::fromLocal8Bit(openssl.readAllStandardError()).trimmed();
    QFile::remove(keyFile);
    QFile::remove(certFile);
    return Error{QStringLiteral("生成证书失败：%1").arg(reason)};
  }
  return ok();
}

}  // namespace server::tls
