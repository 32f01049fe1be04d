#include "reports/page_writer.h"

#include <QFontDatabase>
#include <QPdfWriter>
#include <QRawFont>
#include <stdexcept>

namespace reports {

namespace {

const QString kArial = QStringLiteral("Arial");
const QString kKai = QStringLiteral("楷体_GB2312");
const QString kUKai = QStringLiteral("AR PL UKai CN");
// Chinese sans faces, the first found serving. Noto Sans CJK comes last: it shares the glyphs of
// many characters with the Kangxi radicals, and a PDF then gives those radicals back when its
// text is copied or searched.
const QStringList kCjkSans = {QStringLiteral("WenQuanYi Micro Hei"),
                              QStringLiteral("Noto Sans CJK SC")};

// Where a face is missing Qt takes its substitutes in order, and looks in them first for
// characters the face it took lacks.
void installSubstitutions() {
  static const bool installed = [] {
    QFont::insertSubstitutions(
        kArial, QStringList{QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")} + kCjkSans);
    QFont::insertSubstitutions(kKai, QStringList{kUKai} + kCjkSans);
    return true;
  }();
  Q_UNUSED(installed);
}

// The face that prints Chinese text in `face`'s font, or nothing.
QString chineseFace(Face face) {
  const QRawFont raw = QRawFont::fromFont(font(face), QFontDatabase::SimplifiedChinese);
  return raw.isValid() && raw.supportsCharacter(U'教') ? raw.familyName() : QString();
}

[[noreturn]] void fail(const QString& reason) { throw std::runtime_error(reason.toStdString()); }

}  // namespace

QPageLayout pageLayout() {
  return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                     QPageLayout::Millimeter);
}

QFont font(Face face) {
  installSubstitutions();
  QFont result(face == Face::Heading ? kKai : kArial);
  result.setPointSizeF(face == Face::Heading ? 14 : 10);
  result.setBold(face == Face::Heading);
  return result;
}

QStringList fontWarnings() {
  QStringList warnings;
  const QString heading = chineseFace(Face::Heading);
  if (heading.isEmpty() || chineseFace(Face::Report).isEmpty())
    warnings << QStringLiteral("找不到中文字体（如 %1），报表中的中文无法打印").arg(kCjkSans[0]);
  else if (!heading.startsWith(kKai) && !heading.startsWith(QStringLiteral("AR PL UKai")))
    warnings << QStringLiteral("找不到楷体字体（%1 或 %2），标题改用 %3").arg(kKai, kUKai, heading);
  return warnings;
}

PageWriter::PageWriter(QPagedPaintDevice& device)
    : device_(device),
      scaleX_(device.logicalDpiX() / kPxPerInch),
      scaleY_(device.logicalDpiY() / kPxPerInch) {
  if (!painter_.begin(&device_)) fail(QStringLiteral("无法开始绘制报表页面"));
}

void PageWriter::write(const QList<Page>& pages) {
  constexpr int kFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
  const QFont fonts[] = {font(Face::Report), font(Face::Heading)};
  for (const Page& page : pages) {
    if (started_ && !device_.newPage()) fail(QStringLiteral("无法开始新的一页"));
    started_ = true;
    for (const Placed& text : page) {
      painter_.setFont(fonts[int(text.face)]);
      double x = text.x * scaleX_;
      if (text.centred)
        x = (kPageWidth * scaleX_ - painter_.fontMetrics().horizontalAdvance(text.text)) / 2;
      painter_.drawText(QRectF(x, text.y * scaleY_, kPageWidth * scaleX_, kPageHeight * scaleY_),
                        kFlags, text.text);
    }
  }
}

bool PageWriter::finish() { return painter_.end(); }

PdfFile::PdfFile(const QString& path) : file_(path) {
  if (!file_.open(QIODevice::WriteOnly))
    fail(QStringLiteral("无法写入文件 %1：%2").arg(path, file_.errorString()));
  pdf_ = std::make_unique<QPdfWriter>(&file_);
  pdf_->setPageLayout(pageLayout());
  pdf_->setCreator(QStringLiteral("staffinfo"));
  writer_ = std::make_unique<PageWriter>(*pdf_);
}

PdfFile::~PdfFile() = default;

void PdfFile::write(const QList<Page>& pages) { writer_->write(pages); }

void PdfFile::finish() {
  const bool painted = writer_->finish();
  if (!painted || !file_.commit())
    fail(QStringLiteral("无法写入文件 %1：%2").arg(file_.fileName(), file_.errorString()));
}

void writePdf(const QString& path, const QList<Page>& pages) {
  PdfFile file(path);
  file.write(pages);
  file.finish();
}

}  // namespace reports
