// The PostgreSQL connection pool lends a statement back to a connection that has planned it.
#include <QtTest>

#include "storage/open.h"
#include "storage/postgres/pool.h"
#include "tests/support/test_database.h"

using namespace storage;

class PgPoolTest : public QObject {
  Q_OBJECT

 private slots:
  void aStatementGoesWhereItIsPrepared() {
    testdb::PgDatabase db;
    Result<std::unique_ptr<Storage>> store = openStorage(db.location());
    QVERIFY(store && (*store)->ensureSchema());  // the readers' role
    Result<std::shared_ptr<pg::Pool>> pool = pg::Pool::of(db.location(), 4);
    QVERIFY(pool);
    const QString sql = QStringLiteral("select count(*) from info");
    const pg::Connection* planned = nullptr;
    {
      std::optional<Result<pg::Pool::Lease>> first = (*pool)->take(pg::Role::Reader);
      const Result<pg::Pool::Lease> last = (*pool)->take(pg::Role::Reader);
      QVERIFY2(*first, qPrintable((*first).error()));
      QVERIFY2(last, qPrintable(last.error()));
      QVERIFY((**first)->prepared(sql));
      planned = &***first;
      first.reset();  // given back before the other, so it is not the one taken next by default
    }
    Result<pg::Pool::Lease> again = (*pool)->take(pg::Role::Reader, sql);
    QVERIFY(again);
    QCOMPARE(&**again, planned);
    Result<pg::Pool::Lease> other = (*pool)->take(pg::Role::Reader, sql);
    QVERIFY(other);
    QVERIFY(&**other != planned);
  }
};

QTEST_GUILESS_MAIN(PgPoolTest)
#include "tst_pg_pool.moc"
