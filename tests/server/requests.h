#pragma once

#include <QVariantMap>
#include <memory>
#include <optional>

#include "protocol/messages.h"
#include "tests/support/test_server.h"
#include "tests/support/wire_client.h"

// Shorthands for the requests the server tests send.
namespace requests {

inline protocol::OpenRequest provider(const QString& name,
                                      std::optional<QString> personKey = std::nullopt) {
  protocol::OpenRequest r;
  r.provider = name;
  r.personKey = std::move(personKey);
  return r;
}

inline protocol::OpenRequest command(
    const QString& text, const QVariantList& params = {},
    const QString& name = QStringLiteral("DataSetProvider_search")) {
  protocol::OpenRequest r;
  r.provider = name;
  r.text = text;
  r.params = params;
  return r;
}

inline protocol::Change insert(const QVariantMap& values) {
  return {protocol::Change::Kind::Insert, 0, {}, values};
}

inline protocol::Change update(qint64 rid, const QVariantMap& original, const QVariantMap& values) {
  return {protocol::Change::Kind::Update, rid, original, values};
}

inline protocol::Change remove(qint64 rid, const QVariantMap& original) {
  return {protocol::Change::Kind::Delete, rid, original, {}};
}

inline protocol::ApplyRequest apply(const protocol::OpenRequest& source,
                                    const QList<protocol::Change>& changes) {
  return {{{source, changes}}};
}

// One row of a packet as column → value, the way a dataset sends its original row.
inline QVariantMap row(const protocol::Packet& packet, int index) {
  QVariantMap map;
  for (int c = 0; c < packet.columns.size(); ++c)
    map.insert(packet.columns[c], packet.rows[index][c]);
  return map;
}

// A client connected to `server` and signed in; null when either step failed.
inline std::unique_ptr<WireClient> signedIn(const TestServer& server, const QString& id,
                                            const QString& password) {
  auto client = std::make_unique<WireClient>();
  if (!client->connectTo(server.host(), server.port())) return nullptr;
  const Answer<protocol::SignInReply> reply = client->signIn(id, password);
  if (!reply.ok() || reply->outcome != protocol::SignInOutcome::SignedIn) return nullptr;
  return client;
}

}  // namespace requests
