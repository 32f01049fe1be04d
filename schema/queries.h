#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Select texts the client sends. Where a value stands in a text it is a `?`, and the value
// travels beside the text as a bound parameter.
namespace schema::queries {

// The main window's list of persons: everyone with both an `info` row and an account.
extern const QString kPersonList;
// The list's lines of one person, whose trimmed identity number is the one parameter. An id
// that trims to it is the number itself, the number followed by blanks (below number||'!'), or
// starts with a blank (below '!'): three ranges the index on `info.id` serves.
extern const QString kPersonLines;

// The reads of one person's rows of a history table, with the identity number as the one
// parameter. All return the rows in ascending `id_num`: a grid row and a stored row pair up by
// position, and the printed report lists the rows in the grid's order.
struct HistoryQueries {
  QString table;
  QString display;    // Chinese-aliased columns, `id_num` as 序号
  QString writeBack;  // plain column names, `id_num` and `id` first
  QString report;     // the printed report's columns, plain names
};

// In the order jzgjckh, shgx, grll, jyqk, jnpx, jwpx.
const QList<HistoryQueries>& history();
const HistoryQueries& history(QStringView table);

// One person's changes from the change log, newest first: 时间, 修改人, 表 and 项目 (stored
// names, shown under their labels), 原值, 新值, 类型. The parameter is the identity number.
extern const QString kPersonChanges;
// The same since the person's last review, the review itself left out; the identity number is
// both parameters.
extern const QString kPersonChangesSinceReview;
// The persons whose record changed after their last review (or who were never reviewed and
// have changes); with kPersonChangedSinceReview the same for one person, the parameter.
extern const QString kChangedSinceReview;
extern const QString kPersonChangedSinceReview;

// The select texts that a signed-in ordinary user may run, each with the user's own identity
// number as every parameter: the three reads of each history table and the two of its changes.
const QStringList& personalShapes();

}  // namespace schema::queries
