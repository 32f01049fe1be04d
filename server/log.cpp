#include "server/log.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <cstdio>
#include <memory>

namespace server {

namespace {

constexpr qint64 kWindowMs = 60 * 1000;
// Counts kept at once; beyond this, clients are counted together.
constexpr qsizetype kMostWindows = 10000;

// Characters that could end a line, rewind it, steer a terminal or change the order in which a
// line is shown: C0, DEL, C1, line and paragraph separators, format characters (the direction
// marks, embeddings, overrides and isolates among them) and unpaired surrogates.
bool mustEscape(char32_t c) {
  if (c < 0x20 || (c >= 0x7f && c <= 0x9f)) return true;
  switch (QChar::category(c)) {
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
      return true;
    default:
      return false;
  }
}

QString escaped(QStringView text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    char32_t c = text[i].unicode();
    qsizetype width = 1;
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
      c = QChar::surrogateToUcs4(text[i], text[i + 1]);
      width = 2;
    }
    if (c == u'\\') {
      out += QStringLiteral("\\\\");
    } else if (c == u'\n') {
      out += QStringLiteral("\\n");
    } else if (c == u'\r') {
      out += QStringLiteral("\\r");
    } else if (c == u'\t') {
      out += QStringLiteral("\\t");
    } else if (mustEscape(c)) {
      out += c <= 0xff     ? QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'))
             : c <= 0xffff ? QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'))
                           : QStringLiteral("\\U%1").arg(uint(c), 8, 16, QLatin1Char('0'));
    } else {
      out += text.mid(i, width);
    }
    i += width - 1;
  }
  return out;
}

// The lines of one address and kind of event (or of all clients) in the current minute.
struct Window {
  QString who;
  QString kind;
  qint64 start = 0;
  int written = 0;
  qint64 counted = 0;  // lines left out
};

class Log {
 public:
  static Log& shared() {
    static Log log;
    return log;
  }

  void line(const QString& text) {
    QMutexLocker lock(&mutex_);
    write(text);
  }

  void client(const QString& address, const QString& kind, const QString& text) {
    QMutexLocker lock(&mutex_);
    const qint64 now = clock_.elapsed();
    sweep(now, false);
    if (!admit(all_, now, kClientLinesPerMinute)) return;
    const QString key = address + u'\n' + kind;
    if (!windows_.contains(key) && windows_.size() >= kMostWindows) {
      // Too many addresses at once to count apart: the total above still bounds them.
      write(text);
      return;
    }
    Window& window = windows_[key];
    if (window.who.isEmpty()) window = {address, kind, now, 0, 0};
    if (admit(window, now, kClientBurst)) write(text);
  }

  void flush(bool all) {
    QMutexLocker lock(&mutex_);
    sweep(clock_.elapsed(), all);
  }

  Status toFile(const QString& path, qint64 maxBytes, int keep) {
    QMutexLocker lock(&mutex_);
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append))
      return Error{QStringLiteral("无法写入日志文件 %1：%2").arg(path, file->errorString())};
    file_ = std::move(file);
    maxBytes_ = maxBytes;
    keep_ = keep;
    return ok();
  }

 private:
  Log() {
    clock_.start();
    all_ = {QStringLiteral("*"), QStringLiteral("all clients"), 0, 0, 0};
  }

  // Whether a line of `window` may be written now; closes a minute that is over first.
  bool admit(Window& window, qint64 now, int most) {
    if (now - window.start >= kWindowMs) {
      summarise(window);
      window.start = now;
      window.written = 0;
    }
    if (window.written < most) {
      ++window.written;
      return true;
    }
    ++window.counted;
    return false;
  }

  void summarise(Window& window) {
    if (window.counted == 0) return;
    write(QStringLiteral("%1 … %2 more like this in the last minute (%3)")
              .arg(window.who, QString::number(window.counted), window.kind));
    window.counted = 0;
  }

  // Summarises the minutes that are over (with `all`, every count), at most once a second.
  void sweep(qint64 now, bool all) {
    if (!all && now - lastSweep_ < 1000) return;
    lastSweep_ = now;
    for (auto it = windows_.begin(); it != windows_.end();) {
      if (all || now - it->start >= kWindowMs) {
        summarise(*it);
        it = windows_.erase(it);
      } else {
        ++it;
      }
    }
    if (all || now - all_.start >= kWindowMs) summarise(all_);
  }

  void write(const QString& text) {
    const QByteArray line =
        (QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz ")) +
         escaped(QStringView(clipped(text, kMaxLineChars))) + u'\n')
            .toUtf8();
    if (!file_) {
      std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
      std::fflush(stderr);
      return;
    }
    if (file_->size() + line.size() > maxBytes_) rotate();
    file_->write(line);
    file_->flush();
  }

  void rotate() {
    const QString path = file_->fileName();
    file_->close();
    QFile::remove(path + u'.' + QString::number(keep_));
    for (int n = keep_ - 1; n >= 1; --n)
      QFile::rename(path + u'.' + QString::number(n), path + u'.' + QString::number(n + 1));
    if (keep_ > 0)
      QFile::rename(path, path + QStringLiteral(".1"));
    else
      QFile::remove(path);
    file_->open(QIODevice::WriteOnly | QIODevice::Append);
  }

  QMutex mutex_;
  QElapsedTimer clock_;
  QHash<QString, Window> windows_;  // address + '\n' + kind
  Window all_;
  qint64 lastSweep_ = 0;
  std::unique_ptr<QFile> file_;
  qint64 maxBytes_ = 0;
  int keep_ = 0;
};

}  // namespace

QString clipped(const QString& value, qsizetype chars) {
  if (value.size() <= chars) return value;
  return value.left(chars) + QStringLiteral("…(+%1)").arg(value.size() - chars);
}

void logLine(const QString& text) { Log::shared().line(text); }

void logClient(const QString& address, const QString& kind, const QString& text) {
  Log::shared().client(address, kind, text);
}

void flushLogSummaries(bool all) { Log::shared().flush(all); }

Status logToFile(const QString& path, qint64 maxBytes, int keep) {
  return Log::shared().toFile(path, maxBytes, keep);
}

}  // namespace server
