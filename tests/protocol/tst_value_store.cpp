// Values kept compactly read back as they were appended: across the blocks the store grows by,
// with a text longer than a block, and after the room kept for growth is given back.
#include <QtTest>

#include "protocol/value_store.h"

namespace {

// The value of row r, column c in the rows the tests append.
QVariant valueAt(qsizetype r, int c) {
  switch ((r + c) % 4) {
    case 0:
      return QVariant();
    case 1:
      return QVariant(qint64(r) * 1000 - c);
    case 2:
      return QVariant(QStringLiteral("张%1").arg(r));
    default:
      return QVariant(QString(int(r % 7), u'x'));  // empty now and then
  }
}

void appendRows(protocol::ValueStore& store, qsizetype from, qsizetype to) {
  for (qsizetype r = from; r < to; ++r)
    for (int c = 0; c < store.columnCount(); ++c) store.appendValue(valueAt(r, c));
}

}  // namespace

class ValueStoreTest : public QObject {
  Q_OBJECT

 private slots:
  void readsBack_data();
  void readsBack();
  void longTextsAndReals();
};

void ValueStoreTest::readsBack_data() {
  QTest::addColumn<int>("columns");
  QTest::addColumn<qsizetype>("rows");
  QTest::addColumn<bool>("squeezeHalfway");
  QTest::newRow("one row") << 3 << qsizetype(1) << false;
  QTest::newRow("the first block grown") << 13 << qsizetype(5000) << false;
  QTest::newRow("many blocks") << 14 << qsizetype(100000) << false;
  QTest::newRow("rows astride blocks") << 7 << qsizetype(80000) << false;
  QTest::newRow("squeezed, then more") << 13 << qsizetype(60000) << true;
  QTest::newRow("one row squeezed, then more") << 2 << qsizetype(3) << true;
}

void ValueStoreTest::readsBack() {
  QFETCH(int, columns);
  QFETCH(qsizetype, rows);
  QFETCH(bool, squeezeHalfway);
  protocol::ValueStore store(columns);
  appendRows(store, 0, rows / 2);
  if (squeezeHalfway) store.squeeze();
  appendRows(store, rows / 2, rows);
  store.squeeze();
  QCOMPARE(store.rowCount(), rows);
  for (qsizetype r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      const QVariant expected = valueAt(r, c);
      const QVariant got = store.value(r, c);
      if (got != expected || got.typeId() != expected.typeId() ||
          store.isNull(r, c) != expected.isNull())
        QFAIL(qPrintable(QStringLiteral("row %1 column %2: %3").arg(r).arg(c).arg(got.toString())));
      if (expected.typeId() == QMetaType::QString)
        QCOMPARE(QString::fromUtf8(*store.utf8(r, c)), expected.toString());
    }
}

void ValueStoreTest::longTextsAndReals() {
  protocol::ValueStore store(2);
  const QString huge(3 * 1024 * 1024, u'长');  // longer than any block
  const QList<QVariantList> rows = {{QStringLiteral("a"), 0.5},
                                    {huge, QStringLiteral("b")},
                                    {QString(), -2.25},
                                    {huge.left(1000), QVariant()}};
  for (const QVariantList& row : rows) store.appendRow(row);
  for (qsizetype r = 0; r < rows.size(); ++r)
    for (int c = 0; c < 2; ++c) QCOMPARE(store.value(r, c), rows[r][c]);
}

QTEST_GUILESS_MAIN(ValueStoreTest)
#include "tst_value_store.moc"
