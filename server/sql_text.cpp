#include "server/sql_text.h"

namespace server::sqltext {

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

}  // namespace server::sqltext
