// The data module's named connection parameters and the typed options they stand for: names
// in any letter case, the values each name maps to, and values the database layer cannot
// honour, which are refused rather than passed over.
#include "data/connection_params.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using data::ConnectionParams;

TEST(ConnectionParams, NamesIgnoreLetterCaseAndTheReplacedValueIsTheOneUsed) {
    ConnectionParams p{{"Database", "design.fdb"}, {"Password", "design"}};
    p.set("password", "other");
    p.set("DATABASE", "company.fdb");
    EXPECT_EQ(p.list(), (std::vector<std::pair<std::string, std::string>>{
                            {"DATABASE", "company.fdb"}, {"password", "other"}}));
    EXPECT_EQ(p.get("PASSWORD"), "other");
    EXPECT_EQ(p.get("User_Name"), "");
    const fb::ConnectionOptions o = p.options();
    EXPECT_EQ(o.database, "company.fdb");
    EXPECT_EQ(o.password, "other");
}

TEST(ConnectionParams, EachNameMapsOntoItsOption) {
    const fb::ConnectionOptions o = ConnectionParams{
        {"User_Name", "sysdba"},        {"RoleName", "RoleName"}, {"SQLDialect", "1"},
        {"ServerCharSet", "ISO8859_1"}, {"WaitOnLocks", "False"}, {"IsolationLevel", "SnapShot"},
        {"CommitRetain", "False"},      {"Trim Char", "False"},   {"BlobSize", "-1"},
        {"LocaleCode", "0000"}}.options();
    EXPECT_EQ(o.user, "sysdba");
    EXPECT_EQ(o.role, "RoleName");
    EXPECT_EQ(o.dialect, 1);
    EXPECT_EQ(o.charSet, "ISO8859_1");
    EXPECT_FALSE(o.waitOnLocks);
    EXPECT_FALSE(o.readCommitted);
    EXPECT_EQ(o.lockTimeout, 0);

    // Empty values keep the options' defaults: dialect 3, waiting, read committed.
    const fb::ConnectionOptions d =
        ConnectionParams{{"SQLDialect", ""}, {"WaitOnLocks", ""}, {"IsolationLevel", ""}}.options();
    EXPECT_EQ(d.dialect, 3);
    EXPECT_TRUE(d.waitOnLocks);
    EXPECT_TRUE(d.readCommitted);
}

TEST(ConnectionParams, WhatTheConnectionCannotHonourIsRefused) {
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"CommitRetain", "True"},
             {"Trim Char", "True"},
             {"SQLDialect", "2"},
             {"WaitOnLocks", "Maybe"},
             {"IsolationLevel", "Serializable"},
             {"LockTimeout", "30"},  // no name of the data module's connections
         }) {
        SCOPED_TRACE(name + "=" + value);
        EXPECT_THROW((ConnectionParams{{name, value}}.options()), std::invalid_argument);
    }
}

}  // namespace
