#include "storage/sql_text.h"

#include <QSet>

namespace storage::sqltext {

namespace {

bool isWordChar(QChar c) {
  return c.isLetterOrNumber() || c == u'_' || c == u'$' || c.unicode() >= 128;
}

// End of a quoted run starting at `begin` (the opening quote), doubled closers included.
qsizetype quotedEnd(QStringView text, qsizetype begin, QChar closer) {
  qsizetype i = begin + 1;
  while (i < text.size()) {
    if (text[i] == closer) {
      if (closer != u']' && i + 1 < text.size() && text[i + 1] == closer) {
        i += 2;
        continue;
      }
      return i + 1;
    }
    ++i;
  }
  return text.size();
}

}  // namespace

QList<Token> tokens(QStringView text) {
  QList<Token> out;
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n) {
    const QChar c = text[i];
    if (c.unicode() <= 32) {
      ++i;
    } else if (c == u'-' && i + 1 < n && text[i + 1] == u'-') {
      while (i < n && text[i] != u'\n') ++i;
    } else if (c == u'/' && i + 1 < n && text[i + 1] == u'*') {
      const qsizetype close = text.indexOf(u"*/", i + 2);
      i = close < 0 ? n : close + 2;
    } else if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
      const qsizetype end = quotedEnd(text, i, c == u'[' ? QChar(u']') : c);
      out.append({Token::Kind::Quoted, QString(), i, end});
      i = end;
    } else if (isWordChar(c)) {
      const qsizetype begin = i;
      while (i < n && isWordChar(text[i])) ++i;
      out.append({Token::Kind::Word, text.mid(begin, i - begin).toString().toLower(), begin, i});
    } else {
      out.append({Token::Kind::Symbol, QString(), i, i + 1});
      ++i;
    }
  }
  return out;
}

QString quoted(QStringView identifier) {
  QString out = identifier.toString();
  out.replace(u'"', QStringLiteral("\"\""));
  return u'"' + out + u'"';
}

QString firstKeyword(QStringView text) {
  const QList<Token> all = tokens(text);
  return !all.isEmpty() && all.front().kind == Token::Kind::Word ? all.front().word : QString();
}

std::optional<qsizetype> resultColumnsStart(QStringView text) {
  const QList<Token> all = tokens(text);
  if (all.isEmpty() || all[0].kind != Token::Kind::Word || all[0].word != u"select")
    return std::nullopt;
  if (all.size() > 1 && all[1].kind == Token::Kind::Word &&
      (all[1].word == u"distinct" || all[1].word == u"all"))
    return all[1].end;
  return all[0].end;
}

bool selectsDistinct(QStringView text) {
  const QList<Token> all = tokens(text);
  return all.size() > 1 && all[0].kind == Token::Kind::Word && all[0].word == u"select" &&
         all[1].kind == Token::Kind::Word && all[1].word == u"distinct";
}

bool groupsRows(QStringView text) {
  for (const Token& t : tokens(text))
    if (t.kind == Token::Kind::Word && t.word == u"group") return true;
  return false;
}

}  // namespace storage::sqltext

namespace storage::sqltext {

namespace {

bool isSymbol(const Token& t, QChar c, QStringView text) {
  return t.kind == Token::Kind::Symbol && text[t.begin] == c;
}

bool isWord(const Token& t, QStringView word) {
  return t.kind == Token::Kind::Word && t.word == word;
}

bool isQuotedName(const Token& t, QStringView text) {
  return t.kind == Token::Kind::Quoted && text[t.begin] == u'"';
}

// The name a word or double-quoted token stands for.
QString nameOf(const Token& t, QStringView text) {
  if (t.kind == Token::Kind::Word) return text.mid(t.begin, t.end - t.begin).toString();
  QString inner = text.mid(t.begin + 1, qMax<qsizetype>(0, t.end - t.begin - 2)).toString();
  const QChar q = text[t.begin];
  return inner.replace(QString(2, q), QString(q));
}

// Depth of parentheses before each token.
QList<int> depths(const QList<Token>& all, QStringView text) {
  QList<int> out;
  int depth = 0;
  for (const Token& t : all) {
    if (isSymbol(t, u')', text)) depth = qMax(0, depth - 1);
    out << depth;
    if (isSymbol(t, u'(', text)) ++depth;
  }
  return out;
}

}  // namespace

NumberedMarks numberMarks(QStringView text) {
  const QList<Token> all = tokens(text);
  NumberedMarks out;
  qsizetype copied = 0;
  for (qsizetype i = 0; i < all.size(); ++i) {
    if (!isSymbol(all[i], u'?', text)) continue;
    const qsizetype begin = all[i].begin;
    qsizetype end = all[i].end;
    int number = out.count + 1;
    if (i + 1 < all.size() && all[i + 1].kind == Token::Kind::Word && all[i + 1].begin == end) {
      // The digits right after the mark are its number ("?2x" is mark 2, then "x").
      const QStringView word = text.mid(end, all[i + 1].end - end);
      qsizetype digits = 0;
      while (digits < word.size() && word[digits] >= u'0' && word[digits] <= u'9') ++digits;
      if (digits > 0) {
        number = word.left(digits).toInt();
        end += digits;
        if (digits == word.size()) ++i;
      }
    }
    out.count = qMax(out.count, number);
    out.text += text.mid(copied, begin - copied).toString() + u'$' + QString::number(number);
    copied = end;
  }
  out.text += text.mid(copied);
  return out;
}

QStringList calledFunctions(QStringView text) {
  static const QSet<QString> notCalls = {
      "in",       "exists",    "any",      "all",       "some",      "values",  "over",
      "filter",   "as",        "from",     "join",      "on",        "using",   "and",
      "or",       "not",       "when",     "then",      "else",      "where",   "select",
      "by",       "having",    "between",  "like",      "ilike",     "is",      "case",
      "cast",     "extract",   "row",      "array",     "lateral",   "union",   "intersect",
      "except",   "with",      "distinct", "within",    "partition", "window",  "range",
      "rows",     "groups",    "limit",    "offset",    "numeric",   "decimal", "varchar",
      "char",     "character", "time",     "timestamp", "bit",       "varying", "float",
      "interval", "recursive", "escape",   "end",       "do"};
  const QList<Token> all = tokens(text);
  QStringList out;
  for (qsizetype i = 0; i + 1 < all.size(); ++i) {
    if (!isSymbol(all[i + 1], u'(', text)) continue;
    if (all[i].kind == Token::Kind::Word) {
      if (!notCalls.contains(all[i].word)) out << all[i].word;
    } else if (isQuotedName(all[i], text)) {
      out << nameOf(all[i], text);
    }
  }
  return out;
}

QStringList callsWithSeveralArguments(QStringView text) {
  const QList<Token> all = tokens(text);
  const QList<int> depth = depths(all, text);
  const QStringList called = calledFunctions(text);
  QStringList out;
  for (qsizetype i = 0; i + 1 < all.size(); ++i) {
    if (!isSymbol(all[i + 1], u'(', text)) continue;
    const QString name = all[i].kind == Token::Kind::Word ? all[i].word : nameOf(all[i], text);
    if (!called.contains(name)) continue;
    const int inside = depth[i + 1] + 1;
    for (qsizetype k = i + 2; k < all.size() && depth[k] >= inside; ++k)
      if (depth[k] == inside && (isSymbol(all[k], u',', text) || isWord(all[k], u"from"))) {
        out << name;
        break;
      }
  }
  return out;
}

bool ordersRows(QStringView text) {
  const QList<Token> all = tokens(text);
  const QList<int> depth = depths(all, text);
  for (qsizetype i = 0; i + 1 < all.size(); ++i)
    if (depth[i] == 0 && isWord(all[i], u"order") && isWord(all[i + 1], u"by")) return true;
  return false;
}

std::optional<QList<SelectItem>> selectItems(QStringView text) {
  static const QSet<QString> ends = {"from",      "where",  "group",  "having", "window",
                                     "order",     "limit",  "offset", "fetch",  "union",
                                     "intersect", "except", "into",   "for"};
  static const QSet<QString> notAliases = {"end", "null", "true", "false", "distinct", "all"};
  const QList<Token> all = tokens(text);
  const QList<int> depth = depths(all, text);
  qsizetype i = 0;
  while (i < all.size() && !(depth[i] == 0 && isWord(all[i], u"select"))) ++i;
  if (i == all.size()) return std::nullopt;
  ++i;
  if (i < all.size() && (isWord(all[i], u"distinct") || isWord(all[i], u"all"))) ++i;

  QList<SelectItem> items;
  qsizetype first = i;
  const auto finish = [&](qsizetype end) {
    if (end <= first) return;
    SelectItem item;
    qsizetype last = end;  // one past the expression's last token
    const Token& tail = all[end - 1];
    const bool named = tail.kind == Token::Kind::Word || tail.kind == Token::Kind::Quoted;
    if (end - first >= 3 && named && isWord(all[end - 2], u"as")) {
      item.alias = nameOf(tail, text);
      last = end - 2;
    } else if (end - first >= 2 &&
               (isQuotedName(tail, text) ||
                (tail.kind == Token::Kind::Word && !notAliases.contains(tail.word))) &&
               (all[end - 2].kind != Token::Kind::Symbol || isSymbol(all[end - 2], u')', text))) {
      item.alias = nameOf(tail, text);
      last = end - 1;
    }
    item.expression = text.mid(all[first].begin, all[last - 1].end - all[first].begin).toString();
    item.star = isSymbol(all[last - 1], u'*', text) &&
                (last - 1 == first || isSymbol(all[last - 2], u'.', text));
    bool plain = true;
    for (qsizetype k = first; k < last && plain; ++k)
      plain = (k - first) % 2 == 0 ? all[k].kind == Token::Kind::Word || isQuotedName(all[k], text)
                                   : isSymbol(all[k], u'.', text);
    item.plainColumn = plain && (last - first) % 2 == 1 && !item.star;
    items << item;
  };
  for (; i < all.size(); ++i) {
    if (depth[i] != 0) continue;
    if (all[i].kind == Token::Kind::Word && ends.contains(all[i].word)) break;
    if (isSymbol(all[i], u';', text)) break;
    if (isSymbol(all[i], u',', text)) {
      finish(i);
      first = i + 1;
    }
  }
  finish(i);
  return items;
}

}  // namespace storage::sqltext
