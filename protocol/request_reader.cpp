#include "protocol/request_reader.h"

#include <QCborStreamReader>
#include <QHash>
#include <algorithm>
#include <iterator>

#include "protocol/cbor_bytes.h"

namespace protocol {

namespace {

// A reader of the one item that begins at `offset` of `body`; the bytes are not copied.
QCborStreamReader readerAt(const QByteArray& body, qint64 offset) {
  return QCborStreamReader(
      QByteArray::fromRawData(body.constData() + offset, body.size() - offset));
}

bool readText(QCborStreamReader& reader, QString* out) {
  out->clear();
  for (auto chunk = reader.readString(); chunk.status != QCborStreamReader::EndOfString;
       chunk = reader.readString()) {
    if (chunk.status == QCborStreamReader::Error) return false;
    *out += chunk.data;
  }
  return true;
}

// A field value: null, an integer or a text; nothing for any other kind.
std::optional<QVariant> readCell(QCborStreamReader& reader) {
  if (reader.isNull()) return QVariant();
  if (reader.isInteger()) return QVariant(qint64(reader.toInteger()));
  QString text;
  if (reader.isString() && readText(reader, &text)) return QVariant(text);
  return std::nullopt;
}

// Offsets (from the start of `body`) of the items of the container at `offset`: for a map, of
// each key's value (the first of a repeated key; keys must be texts), for a list of each item.
bool indexContainer(const QByteArray& body, qint64 offset, QHash<QString, qint64>* keys,
                    QList<qint64>* items) {
  QCborStreamReader reader = readerAt(body, offset);
  if (!(keys ? reader.isMap() : reader.isArray()) || !reader.enterContainer()) return false;
  while (reader.lastError() == QCborError::NoError && reader.hasNext()) {
    if (keys) {
      QString key;
      if (!reader.isString() || !readText(reader, &key)) return false;
      if (!keys->contains(key)) keys->insert(key, offset + reader.currentOffset());
    } else {
      items->append(offset + reader.currentOffset());
    }
    if (!reader.next()) return false;
  }
  return reader.lastError() == QCborError::NoError;
}

// One map of a request and its fields, each read where it lies and only when asked for. The
// first field refused sets `error`; every reading call returns false from then on.
class Fields {
 public:
  Fields(const QByteArray& body, QString* error) : body_(body), error_(error) {}

  // Reads the map at `offset`; false (with a reason) when there is none.
  bool open(qint64 offset, const QString& what) {
    if (!indexContainer(body_, offset, &offsets_, nullptr))
      return fail(QStringLiteral("请求格式错误：%1 的类型不对").arg(what));
    return true;
  }

  bool has(const QString& key) const { return offsets_.contains(key); }

  bool text(const QString& key, QString* out, bool required = true) {
    const std::optional<qint64> at = field(key, required);
    if (!at) return good_;
    QCborStreamReader r = readerAt(body_, *at);
    if (!r.isString() || !readText(r, out)) return wrongType(key);
    return true;
  }
  bool integer(const QString& key, qint64* out) {
    const std::optional<qint64> at = field(key, true);
    if (!at) return false;
    QCborStreamReader r = readerAt(body_, *at);
    if (!r.isInteger()) return wrongType(key);
    *out = qint64(r.toInteger());
    return true;
  }
  // Offsets of the items of a list.
  bool list(const QString& key, QList<qint64>* items, bool required = true) {
    const std::optional<qint64> at = field(key, required);
    if (!at) return good_;
    if (!indexContainer(body_, *at, nullptr, items)) return wrongType(key);
    return true;
  }
  // The map `key` holds, to read its fields in turn.
  bool map(const QString& key, Fields* inner) {
    const std::optional<qint64> at = field(key, true);
    if (!at) return false;
    if (!indexContainer(body_, *at, &inner->offsets_, nullptr)) return wrongType(key);
    return true;
  }
  // Field values: a list of them, or a map of column name → value.
  bool values(const QString& key, QVariantList* out, bool required = true) {
    QList<qint64> items;
    if (!list(key, &items, required)) return false;
    out->reserve(items.size());
    for (qint64 at : items) {
      QCborStreamReader r = readerAt(body_, at);
      const std::optional<QVariant> cell = readCell(r);
      if (!cell) return wrongType(key);
      out->append(*cell);
    }
    return true;
  }
  bool values(const QString& key, QVariantMap* out) {
    Fields inner(body_, error_);
    if (!map(key, &inner)) return false;
    for (auto it = inner.offsets_.cbegin(); it != inner.offsets_.cend(); ++it) {
      QCborStreamReader r = readerAt(body_, *it);
      const std::optional<QVariant> cell = readCell(r);
      if (!cell) return wrongType(key);
      out->insert(it.key(), *cell);
    }
    return true;
  }

  bool fail(const QString& reason) {
    if (good_) *error_ = reason;
    good_ = false;
    return false;
  }

 private:
  // Where the field's value begins; nothing when it is missing (a fault when `required`).
  std::optional<qint64> field(const QString& key, bool required) {
    if (!good_) return std::nullopt;
    const auto found = offsets_.constFind(key);
    if (found == offsets_.cend()) {
      if (required) fail(QStringLiteral("请求格式错误：缺少 %1").arg(key));
      return std::nullopt;
    }
    return *found;
  }
  bool wrongType(const QString& key) {
    return fail(QStringLiteral("请求格式错误：%1 的类型不对").arg(key));
  }

  const QByteArray& body_;
  QString* error_;
  bool good_ = true;
  QHash<QString, qint64> offsets_;
};

QString tooLarge(const QString& what) { return QStringLiteral("请求过大：%1").arg(what); }

bool readSource(Fields& f, const ListLimits& limits, OpenRequest* r) {
  QString key;
  QList<qint64> params;
  if (!f.text(QStringLiteral("provider"), &r->provider) ||
      !f.text(QStringLiteral("text"), &r->text, false) ||
      !f.list(QStringLiteral("params"), &params, false))
    return false;
  if (params.size() > limits.params)
    return f.fail(tooLarge(QStringLiteral("查询参数超过 %1 个").arg(limits.params)));
  if (!f.values(QStringLiteral("params"), &r->params, false) ||
      !f.text(QStringLiteral("key"), &key, false))
    return false;
  if (f.has(QStringLiteral("key"))) r->personKey = key;
  return true;
}

bool readChange(Fields& f, Change* c) {
  QString kind;
  if (!f.text(QStringLiteral("kind"), &kind)) return false;
  const auto known = std::find_if(std::begin(Change::kKindNames), std::end(Change::kKindNames),
                                  [&](const char* k) { return kind == QLatin1StringView(k); });
  if (known == std::end(Change::kKindNames)) return f.fail(QStringLiteral("未知的修改类型"));
  c->kind = Change::Kind(known - std::begin(Change::kKindNames));
  return f.integer(QStringLiteral("rid"), &c->rid) &&
         f.values(QStringLiteral("original"), &c->original) &&
         f.values(QStringLiteral("values"), &c->values);
}

// The parts and their changes are counted before any change is read.
bool readApply(const QByteArray& body, const ListLimits& limits, Fields& f, ApplyRequest* r,
               QString* error) {
  QList<qint64> parts;
  if (!f.list(QStringLiteral("parts"), &parts)) return false;
  if (parts.isEmpty()) return f.fail(QStringLiteral("保存请求中没有任何修改"));
  if (parts.size() > limits.parts)
    return f.fail(tooLarge(QStringLiteral("一次保存涉及超过 %1 个数据集").arg(limits.parts)));
  QList<QList<qint64>> changes(parts.size());
  qsizetype count = 0;
  for (qsizetype p = 0; p < parts.size(); ++p) {
    Fields part(body, error);
    ApplyPart out;
    if (!part.open(parts[p], QStringLiteral("parts")) || !readSource(part, limits, &out.source) ||
        !part.list(QStringLiteral("changes"), &changes[p]))
      return false;
    count += changes[p].size();
    r->parts << std::move(out);
  }
  if (count > limits.changes)
    return f.fail(tooLarge(QStringLiteral("一次保存超过 %1 条修改").arg(limits.changes)));
  for (qsizetype p = 0; p < parts.size(); ++p) {
    r->parts[p].changes.reserve(changes[p].size());
    for (qint64 changeAt : changes[p]) {
      Fields change(body, error);
      Change c;
      if (!change.open(changeAt, QStringLiteral("changes")) || !readChange(change, &c))
        return false;
      r->parts[p].changes << std::move(c);
    }
  }
  return true;
}

}  // namespace

QString leadingOp(const QByteArray& body) {
  cbor::Reader in(body);
  cbor::Reader::Container map;
  QByteArrayView key;
  QByteArrayView op;
  QByteArray scratch;
  if (!in.enter(cbor::Map, &map) || !in.more(map) || !in.text(&key, &scratch) || key != "op" ||
      !in.text(&op, &scratch))
    return {};
  return QString::fromUtf8(op);
}

std::optional<Request> readRequest(const QByteArray& body, const ListLimits& limits,
                                   QString* error) {
  Fields f(body, error);
  if (!f.open(0, QStringLiteral("请求"))) {
    *error = QStringLiteral("报文无法解析");
    return std::nullopt;
  }
  Request request;
  f.text(QStringLiteral("op"), &request.op, false);
  bool read = true;
  if (request.op == op::kHello) {
    Hello hello;
    qint64 version = 0;
    read = f.text(QStringLiteral("object"), &hello.object) &&
           f.integer(QStringLiteral("version"), &version);
    hello.version = int(qBound(qint64(-1), version, qint64(1) << 30));
    request.body = hello;
  } else if (request.op == op::kSignIn) {
    SignInRequest signIn;
    read = f.text(QStringLiteral("id"), &signIn.id) &&
           f.text(QStringLiteral("password"), &signIn.password);
    request.body = signIn;
  } else if (request.op == op::kOpen) {
    OpenRequest open;
    read = readSource(f, limits, &open);
    request.body = std::move(open);
  } else if (request.op == op::kApply) {
    ApplyRequest apply;
    read = readApply(body, limits, f, &apply, error);
    request.body = std::move(apply);
  } else if (request.op == op::kDraw) {
    DrawRequest draw;
    read = f.text(QStringLiteral("table"), &draw.table);
    request.body = draw;
  } else if (request.op == op::kReview) {
    ReviewRequest review;
    read = f.text(QStringLiteral("person"), &review.person);
    request.body = review;
  } else if (request.op == op::kBye) {
    request.body = ByeRequest{};
  }
  if (!read) return std::nullopt;
  return request;
}

}  // namespace protocol
