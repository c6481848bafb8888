// The connection's kept prepared statements: a statement made again takes a
// kept one, which must behave as a freshly prepared one.
#include "vaddaemon/SqliteDb.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class SqliteDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(db_.Open(":memory:", 1000));
    ASSERT_TRUE(db_.Exec("CREATE TABLE t(k INTEGER PRIMARY KEY, v TEXT);"
                         "INSERT INTO t VALUES(1, 'one'), (2, 'two'), (3, 'three');"));
  }

  SqliteDb db_;
};

TEST_F(SqliteDbTest, KeptStatementStartsResetWithoutOldBindings) {
  const char* const sql = "SELECT v FROM t WHERE k = ?1 OR ?2 IS NOT NULL ORDER BY k;";
  {
    SqliteStatement s(db_, sql);
    s.BindInt(1, 2);
    s.BindInt(2, 1);  // every row
    ASSERT_EQ(s.Step(), SQLITE_ROW);
    EXPECT_EQ(s.Text(0), "one");
    // Left in the middle of its rows.
  }
  EXPECT_EQ(db_.KeptCount(), 1u);
  {
    // Same text: the kept statement, from its first row, ?2 NULL again.
    SqliteStatement s(db_, sql);
    s.BindInt(1, 3);
    ASSERT_EQ(s.Step(), SQLITE_ROW);
    EXPECT_EQ(s.Text(0), "three");
    EXPECT_EQ(s.Step(), SQLITE_DONE);
  }
  EXPECT_EQ(db_.KeptCount(), 1u);
}

TEST_F(SqliteDbTest, SameTextUsedTwiceAtOnceGetsTwoStatements) {
  const char* const sql = "SELECT v FROM t WHERE k = ?1;";
  SqliteStatement outer(db_, sql);
  outer.BindInt(1, 1);
  ASSERT_EQ(outer.Step(), SQLITE_ROW);
  {
    SqliteStatement inner(db_, sql);
    inner.BindInt(1, 2);
    ASSERT_EQ(inner.Step(), SQLITE_ROW);
    EXPECT_EQ(inner.Text(0), "two");
  }
  // The inner one did not disturb the outer one's row.
  EXPECT_EQ(outer.Text(0), "one");
}

TEST_F(SqliteDbTest, KeptStatementsAreBoundedAndBadTextFails) {
  for (size_t i = 0; i < SqliteDb::kKeptStatements + 10; ++i) {
    const std::string sql = "SELECT " + std::to_string(i) + ";";
    SqliteStatement s(db_, sql.c_str());
    ASSERT_EQ(s.Step(), SQLITE_ROW);
    EXPECT_EQ(s.Int(0), int64_t(i));
  }
  EXPECT_EQ(db_.KeptCount(), SqliteDb::kKeptStatements);

  SqliteStatement bad(db_, "SELEC nothing;");
  EXPECT_FALSE(bad.Ok());
  EXPECT_NE(db_.LastError().find("cannot prepare"), std::string::npos);
  EXPECT_EQ(bad.Step(), SQLITE_MISUSE);
}

TEST_F(SqliteDbTest, KeptStatementSeesLaterWrites) {
  const char* const sql = "SELECT COUNT(*) FROM t;";
  {
    SqliteStatement s(db_, sql);
    ASSERT_EQ(s.Step(), SQLITE_ROW);
    EXPECT_EQ(s.Int(0), 3);
  }
  {
    SqliteTransaction transaction(db_);
    SqliteStatement insert(db_, "INSERT INTO t VALUES(?1, ?2);");
    insert.BindInt(1, 4);
    insert.BindText(2, "four");
    ASSERT_TRUE(insert.Run());
    ASSERT_TRUE(transaction.Commit());
  }
  SqliteStatement s(db_, sql);
  ASSERT_EQ(s.Step(), SQLITE_ROW);
  EXPECT_EQ(s.Int(0), 4);
}

}  // namespace
