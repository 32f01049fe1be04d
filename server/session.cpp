#include "server/session.h"

#include "protocol/frame.h"
#include "protocol/packet_stream.h"
#include "schema/values.h"
#include "server/accounts.h"
#include "server/drawn_numbers.h"
#include "server/log.h"
#include "server/request_limits.h"
#include "server/write_budget.h"
#include "server/write_plan.h"
#include "storage/account_changes.h"
#include "storage/password.h"

namespace server {

namespace {

using protocol::errorReply;
using Kind = protocol::Change::Kind;

// An open's rows go straight into the reply's frames, a batch at a time. The whole reply is
// bounded, as the client keeps it (a whole filter result of 100,000 persons stays well below).
class FrameSink final : public storage::RowSink {
 public:
  explicit FrameSink(const Session::Send& send)
      : writer_([this, &send](const QByteArray& frame) { return !(lost_ = !send(frame)); }) {}

  void begin(const QStringList& columns, bool rids) override { writer_.begin(columns, rids); }
  void rowIdentity(qint64 rid) override { writer_.rowIdentity(rid); }
  void null() override { writer_.null(); }
  void integer(qint64 value) override { writer_.integer(value); }
  void text(QByteArrayView utf8) override { writer_.text(utf8); }
  Status endRow() override {
    if (!writer_.endRow()) return Error{QStringLiteral("应答发送失败")};
    if (writer_.rowBytes() > kMaxReplyBytes)
      return Error{QStringLiteral("查询结果超过 %1 MiB，请缩小查询范围")
                       .arg(kMaxReplyBytes / (1024 * 1024))};
    return ok();
  }
  void sendNow() override { writer_.sendNow(); }
  bool finish() { return writer_.finish(); }
  bool lost() const { return lost_; }

 private:
  static constexpr qint64 kMaxReplyBytes = qint64(512) * 1024 * 1024;
  protocol::PacketWriter writer_;
  bool lost_ = false;
};

// Rows one person may have in each history table: far more than a career holds.
constexpr qint64 kMostHistoryRows = 200;

// What an apply writes, for the account's write budget: at most the bytes of its values.
qint64 writtenBytes(const QList<storage::TableWrite>& writes) {
  qint64 bytes = 0;
  for (const storage::TableWrite& write : writes)
    for (const storage::RowWrite& row : write.rows) {
      bytes += 16;
      for (const auto& [column, value] : row.values)
        bytes += value.typeId() == QMetaType::QString ? value.toString().size() * 3 : 8;
    }
  return bytes;
}

const char* outcomeText(protocol::SignInOutcome outcome) {
  switch (outcome) {
    case protocol::SignInOutcome::SignedIn:
      return "signed in";
    case protocol::SignInOutcome::NoSuchAccount:
      return "refused: no such account";
    case protocol::SignInOutcome::WrongPassword:
      return "refused: wrong password";
    case protocol::SignInOutcome::NoValidRole:
      return "refused: no valid role";
  }
  return "";
}

}  // namespace

Session::Reply::Reply(const QCborMap& message, bool close)
    : frame(protocol::encodeFrame(message)), close(close) {}

Session::Reply Session::Reply::sent(bool lost) {
  Reply reply;
  reply.lost = lost;
  return reply;
}

Session::Session(QString peer, QString address, SignInThrottle& throttle, Admit admit)
    : peer_(std::move(peer)),
      address_(std::move(address)),
      throttle_(throttle),
      admit_(std::move(admit)),
      token_(DrawnNumbers::newSession()) {}

Session::~Session() { DrawnNumbers::shared().release(token_); }

void Session::log(const QString& kind, const QString& text) const {
  logClient(address_, kind, peer_ + u' ' + text);
}

Session::Reply Session::handle(const QByteArray& body, storage::Storage* store,
                               const QString& storeFailure, const Send& send) {
  if (const std::optional<QString> refusal = limits::checkShape(body))
    // A request over the limits is answered; bytes that are not a request end the talk.
    return {errorReply(*refusal), *refusal == protocol::kUnreadableFrame};
  QString malformed;
  std::optional<protocol::Request> request =
      protocol::readRequest(body, limits::kLists, &malformed);
  // A malformed greeting ends the talk as a wrong one does; bytes that are no request too.
  if (!request)
    return {errorReply(malformed), !greeted_ || malformed == protocol::kUnreadableFrame};
  if (!greeted_) return hello(*request);
  if (std::holds_alternative<protocol::ByeRequest>(request->body)) {
    Reply reply(protocol::okReply(), true);
    reply.goodbye = true;
    return reply;
  }
  if (!store) return {errorReply(storeFailure)};
  store_ = store;
  Reply reply = answer(*request, send);
  store_ = nullptr;
  return reply;
}

Session::Reply Session::answer(protocol::Request& request, const Send& send) {
  if (auto* signInRequest = std::get_if<protocol::SignInRequest>(&request.body))
    return {signIn(*signInRequest)};
  if (!user_) return {errorReply(QStringLiteral("请先登录"))};
  if (Status s = followAccount(); !s) return {errorReply(s.error())};

  QCborMap reply;
  if (const auto* openRequest = std::get_if<protocol::OpenRequest>(&request.body)) {
    FrameSink frames(send);
    const Status read = open(*openRequest, frames);
    if (read) return Reply::sent(!frames.finish());
    if (frames.lost()) return Reply::sent(true);
    // Also the last frame of a reply whose first frames went out: the client drops them.
    reply = errorReply(read.error());
  } else if (const auto* applyRequest = std::get_if<protocol::ApplyRequest>(&request.body)) {
    const Result<QList<qint64>> inserted = apply(*applyRequest);
    reply = inserted ? protocol::ApplyReply{*inserted}.toCbor() : errorReply(inserted.error());
  } else if (const auto* drawRequest = std::get_if<protocol::DrawRequest>(&request.body)) {
    const Result<qint64> value = draw(*drawRequest);
    reply = value ? protocol::DrawReply{*value}.toCbor() : errorReply(value.error());
  } else if (const auto* reviewRequest = std::get_if<protocol::ReviewRequest>(&request.body)) {
    const Result<bool> reviewed = review(*reviewRequest);
    reply = reviewed ? protocol::ReviewReply{*reviewed}.toCbor() : errorReply(reviewed.error());
  } else {
    // What the client named is neither echoed nor logged: it is not an op (or not one here).
    log(QStringLiteral("unknown"), QStringLiteral("unknown request refused"));
    return {errorReply(QStringLiteral("未知的请求"))};
  }
  if (const std::optional<QString> error = protocol::replyError(reply))
    log(QStringLiteral("refused"),
        QStringLiteral("%1 refused: %2").arg(request.op, clipped(*error, 300)));
  return {reply};
}

Session::Reply Session::hello(const protocol::Request& request) {
  QString refusal;
  const auto* hello = std::get_if<protocol::Hello>(&request.body);
  if (!hello)
    refusal = QStringLiteral("连接须以 hello 开始");
  else if (hello->object != protocol::kServerObject)
    refusal = QStringLiteral("服务器对象不存在：%1").arg(clipped(hello->object));
  else if (hello->version != protocol::kVersion)
    refusal = QStringLiteral("协议版本不受支持：%1").arg(hello->version);
  if (!refusal.isEmpty()) {
    log(QStringLiteral("hello"), QStringLiteral("hello refused: %1").arg(refusal));
    return {errorReply(refusal), true};
  }
  greeted_ = true;
  return {protocol::okReply()};
}

QCborMap Session::signIn(const protocol::SignInRequest& request) {
  user_.reset();
  seenGeneration_ = storage::accountsGeneration();
  const QString id = schema::trim(request.id);
  if (const qint64 waitMs = throttle_.waitFor(id, address_); waitMs > 0) {
    const qint64 seconds = (waitMs + 999) / 1000;
    log(QStringLiteral("sign-in throttled"), QStringLiteral("sign-in %1 throttled: %2 s to wait")
                                                 .arg(clipped(id), QString::number(seconds)));
    return errorReply(QStringLiteral("登录失败次数过多，请 %1 秒后再试").arg(seconds));
  }
  const Result<std::optional<storage::Account>> account = store_->findAccount(id);
  if (!account) {
    log(QStringLiteral("sign-in failed"),
        QStringLiteral("sign-in %1 failed: %2").arg(clipped(id), account.error()));
    return errorReply(account.error());
  }
  protocol::SignInReply reply;
  if (!*account) {
    reply.outcome = protocol::SignInOutcome::NoSuchAccount;
  } else if (!storage::password::verify(request.password, (*account)->passwordHash)) {
    reply.outcome = protocol::SignInOutcome::WrongPassword;
  } else if (const std::optional<int> role = access::roleOf((*account)->role)) {
    if (const std::optional<QString> refusal = admit_(User{*role, id})) {
      throttle_.succeeded(id, address_);
      log(QStringLiteral("sign-in refused"),
          QStringLiteral("sign-in %1 refused: %2").arg(clipped(id), *refusal));
      return errorReply(*refusal);
    }
    reply.outcome = protocol::SignInOutcome::SignedIn;
    reply.role = *role;
    user_ = User{*role, id};
  } else {
    reply.outcome = protocol::SignInOutcome::NoValidRole;
  }
  if (reply.outcome == protocol::SignInOutcome::SignedIn)
    throttle_.succeeded(id, address_);
  else if (reply.outcome != protocol::SignInOutcome::NoValidRole)
    throttle_.failed(id, address_);
  log(QString::fromLatin1(user_ ? "sign-in" : "sign-in refused"),
      QStringLiteral("sign-in %1 %2%3")
          .arg(clipped(id), QLatin1StringView(outcomeText(reply.outcome)),
               user_ ? QStringLiteral(", role %1").arg(user_->role) : QString()));
  return reply.toCbor();
}

Status Session::followAccount() {
  const quint64 generation = storage::accountsGeneration();
  if (generation == seenGeneration_) return ok();
  const Result<std::optional<storage::Account>> account = store_->findAccount(user_->id);
  if (!account) return Error{account.error()};
  seenGeneration_ = generation;
  const std::optional<int> role = *account ? access::roleOf((*account)->role) : std::nullopt;
  if (!role) {
    log(QStringLiteral("account"),
        QStringLiteral("%1 signed out: account deleted or without a valid role").arg(user_->id));
    user_.reset();
    return Error{QStringLiteral("该账户已被删除或权限已失效，请重新登录")};
  }
  if (*role != user_->role)
    log(QStringLiteral("account"), QStringLiteral("%1 now has role %2").arg(user_->id).arg(*role));
  user_->role = *role;
  return ok();
}

Status Session::open(const protocol::OpenRequest& request, storage::RowSink& rows) {
  if (const schema::Table* table = schema::providerTable(request.provider)) {
    std::optional<QString> key = request.personKey;
    if (Status s = access::mayRead(*user_, *table, &key); !s) return Error{s.error()};
    return store_->readTable(*table, key, rows);
  }
  if (!schema::commandTextProviders().contains(request.provider))
    return Error{QStringLiteral("未知的数据提供者：%1").arg(clipped(request.provider))};
  if (schema::trim(request.text).isEmpty())
    return Error{QStringLiteral("数据提供者 %1 需要查询语句").arg(request.provider)};
  if (Status s = access::maySelect(*user_, request.text, request.params); !s)
    return Error{s.error()};
  return store_->select(request.text, request.params, rows);
}

Result<Session::Target> Session::target(const protocol::OpenRequest& source) {
  if (const schema::Table* table = schema::providerTable(source.provider))
    return Target{table, tableColumns(*table)};
  if (!schema::commandTextProviders().contains(source.provider))
    return Error{QStringLiteral("未知的数据提供者：%1").arg(clipped(source.provider))};
  if (Status s = access::maySelect(*user_, source.text, source.params); !s) return Error{s.error()};
  Result<storage::SelectShape> shape = store_->describe(source.text);
  if (!shape) return Error{shape.error()};
  if (!shape->table) return Error{QStringLiteral("该查询涉及多个表，不能保存修改")};
  return Target{shape->table, shape->storedColumns};
}

Result<QList<qint64>> Session::apply(const protocol::ApplyRequest& request) {
  QList<storage::TableWrite> writes;
  for (const protocol::ApplyPart& part : request.parts) {
    Result<Target> where = target(part.source);
    if (!where) return Error{where.error()};
    Result<QList<storage::RowWrite>> rows = planWrites(*where->table, where->columns, part.changes);
    if (!rows) return Error{rows.error()};
    if (Status s = access::mayWrite(*user_, *where->table, *rows); !s) return Error{s.error()};
    if (Status s = hashPasswords(*where->table, *rows); !s) return Error{s.error()};
    writes.append({where->table, std::move(*rows)});
  }
  if (!WriteBudget::shared().take(
          user_->id,
          user_->role == access::kPerson ? WriteBudget::kPerson : WriteBudget::kAdministrator,
          writtenBytes(writes)))
    return Error{QStringLiteral("短时间内保存的数据过多，请稍后再试")};
  const storage::RowCheck mayWrite = access::rowCheck(*user_, *store_);
  const auto check = [&](const schema::Table& table, const storage::RowWrite& row,
                         const storage::ColumnValues& stored) -> Status {
    if (Status s = mayWrite(table, row, stored); !s) return s;
    if (!table.isHistory()) return ok();
    const QVariant* number = storage::valueOf(row.values, u"id_num");
    if (number && !DrawnNumbers::shared().mayUse(table.name, number->toLongLong(), token_))
      return Error{QStringLiteral("%1的序号 %2 已由其他用户取得，请重新添加该行")
                       .arg(table.caption, QString::number(number->toLongLong()))};
    const QVariant* id = storage::valueOf(row.values, u"id");
    if (!id) return ok();
    Result<qint64> rows = store_->countRows(table, QStringLiteral("id"), *id);
    if (!rows) return Error{rows.error()};
    if (*rows >= kMostHistoryRows)
      return Error{QStringLiteral("每人的%1最多 %2 行").arg(table.caption).arg(kMostHistoryRows)};
    return ok();
  };
  Result<QList<qint64>> inserted = store_->apply(writes, {user_->id, access::owner(*user_), check});
  if (!inserted) return inserted;

  for (const storage::TableWrite& write : writes) {
    if (write.table->isHistory())
      for (const storage::RowWrite& row : write.rows)
        if (const QVariant* number = storage::valueOf(row.values, u"id_num"))
          DrawnNumbers::shared().used(write.table->name, number->toLongLong());
    if (write.table->name == schema::kAccounts) storage::accountsChanged();
    int counts[3] = {};
    for (const storage::RowWrite& row : write.rows) ++counts[int(row.kind)];
    log(QStringLiteral("apply"),
        QStringLiteral("apply %1 by %2: %3 inserted, %4 updated, %5 deleted")
            .arg(write.table->name, clipped(user_->id), QString::number(counts[int(Kind::Insert)]),
                 QString::number(counts[int(Kind::Update)]),
                 QString::number(counts[int(Kind::Delete)])));
  }
  return inserted;
}

Result<bool> Session::review(const protocol::ReviewRequest& request) {
  if (user_->role == access::kPerson) return Error{QStringLiteral("没有权限审核")};
  const schema::Table& accounts = *schema::table(schema::kAccounts);
  const QString person = schema::trim(request.person);
  storage::PacketSink rows;
  if (Status s = store_->readTable(accounts, person, rows); !s) return Error{s.error()};
  if (rows.packet.rids.isEmpty()) return false;
  storage::RowWrite mark;
  mark.kind = protocol::Change::Kind::Update;
  mark.rid = rows.packet.rids.front();
  mark.values = {{QStringLiteral("shr"), user_->id}};
  Result<QList<qint64>> written = store_->apply(
      {{&accounts, {mark}}}, {user_->id, std::nullopt, access::rowCheck(*user_, *store_)});
  if (!written) return Error{written.error()};
  log(QStringLiteral("review"),
      QStringLiteral("review of %1 by %2").arg(clipped(person), user_->id));
  return true;
}

Result<qint64> Session::draw(const protocol::DrawRequest& request) {
  const schema::Table* table = schema::table(request.table);
  if (!table || !table->isHistory())
    return Error{QStringLiteral("不能为 %1 取序号：它不是记录表").arg(clipped(request.table))};
  Result<qint64> number = store_->draw(*table);
  if (number && !DrawnNumbers::shared().hold(table->name, *number, token_))
    return Error{QStringLiteral("已取得的序号过多，请先保存后再添加")};
  return number;
}

}  // namespace server
