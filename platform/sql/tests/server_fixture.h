#pragma once
// The fixture of the tests run once on each private server: the server as
// the test's parameter, its owner string and the ODBC flavour of its files.
#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>

#include "test_servers.h"
#include "velmora/sql.h"

namespace sqltest_env {

// One private server and what the tests expect of it; a test leaves out
// what it does not use.
struct Backend {
  const char* name;
  const char* flavour;
  const char* missingTableText = "";  // part of the server's own error text
  const char* connectionQuery = "";   // answers the server's number of this connection
  const char* tableOptions = "";      // MariaDB's default engine for the test may not roll back
};
inline void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }

// The server's name as the name of the test instance.
inline std::string BackendName(const ::testing::TestParamInfo<Backend>& info) { return info.param.name; }

class ServerTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    servers_ = Servers(VELMORA_SQL_SERVERS_ENV);
    ASSERT_FALSE(servers_.empty()) << "the test servers are not running (" VELMORA_SQL_SERVERS_ENV ")";
    password_ = Password(servers_, GetParam().flavour);
    owner_ = OwnerWith(password_);
    velmora::sql::setOdbcFlavour(GetParam().flavour);
  }
  void TearDown() override {
    velmora::sql::setOdbcFlavour("");
    velmora::sql::closeThreadConnections();
  }
  // The owner string of the parameter's server with the given password.
  std::string OwnerWith(const std::string& password) const {
    return Owner(servers_, GetParam().flavour, password);
  }

  std::map<std::string, std::string> servers_;
  std::string password_, owner_;
};

}  // namespace sqltest_env
