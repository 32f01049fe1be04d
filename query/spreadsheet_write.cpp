#include <xlsxwriter.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cstdio>

#include "query/spreadsheet.h"

namespace spreadsheet {

Writer::Writer(const QString& path, const QString& sheetName) : path_(path) {
  // The workbook is written under a fresh name in the target's folder and renamed at the end,
  // so a failed or abandoned export never leaves a partial file under the chosen name.
  const QFileInfo target(path);
  QTemporaryFile part(
      target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX.part").arg(target.fileName())));
  part.setAutoRemove(false);
  if (!part.open())
    throw Error(QStringLiteral("无法写入文件 %1：%2").arg(path, part.errorString()));
  partPath_ = part.fileName();
  part.close();

  lxw_workbook_options options = {};
  options.constant_memory = LXW_TRUE;
  options.use_zip64 = LXW_TRUE;
  workbook_ = workbook_new_opt(QFile::encodeName(partPath_).constData(), &options);
  if (workbook_) sheet_ = workbook_add_worksheet(workbook_, sheetName.toUtf8().constData());
  if (workbook_) textFormat_ = workbook_add_format(workbook_);
  if (!sheet_ || !textFormat_) {
    if (workbook_) lxw_workbook_free(workbook_);
    QFile::remove(partPath_);
    throw Error(QStringLiteral("无法创建电子表格 %1").arg(path));
  }
  format_set_num_format_index(textFormat_, 49);  // the built-in text format "@"
}

Writer::~Writer() {
  if (!workbook_) return;
  lxw_workbook_free(workbook_);
  QFile::remove(partPath_);
}

void Writer::check(int error) const {
  if (error != LXW_NO_ERROR)
    throw Error(QStringLiteral("写入电子表格 %1 失败：%2")
                    .arg(path_, QString::fromUtf8(lxw_strerror(lxw_error(error)))));
}

void Writer::text(int row, int column, const QString& value, Format format) {
  check(worksheet_write_string(sheet_, lxw_row_t(row), lxw_col_t(column),
                               value.toUtf8().constData(),
                               format == Format::Text ? textFormat_ : nullptr));
}

void Writer::number(int row, int column, double value) {
  check(worksheet_write_number(sheet_, lxw_row_t(row), lxw_col_t(column), value, nullptr));
}

void Writer::save() {
  // The reserved name is given up so that the workbook is created anew with the permissions a
  // new file of the user gets, not those of a temporary file.
  QFile::remove(partPath_);
  const lxw_error closed = workbook_close(workbook_);  // frees the workbook whatever happens
  workbook_ = nullptr;
  const QByteArray from = QFile::encodeName(partPath_);
  if (closed != LXW_NO_ERROR || std::rename(from.constData(), QFile::encodeName(path_)) != 0) {
    QFile::remove(partPath_);
    throw Error(QStringLiteral("无法保存文件 %1：%2")
                    .arg(path_, closed != LXW_NO_ERROR ? QString::fromUtf8(lxw_strerror(closed))
                                                       : QStringLiteral("不能改名")));
  }
}

}  // namespace spreadsheet
