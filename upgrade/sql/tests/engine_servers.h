#pragma once
// Points the engine at one of the private test servers: its owner string
// and password from servers.env, the settings read anew and the ODBC flavour set.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "../../../platform/sql/tests/test_servers.h"
#include "velmora/upgrade/registration.h"
#include "velmora/upgrade/settings.h"

namespace sqltest {

// Call after the command line is set; fails the test when no servers run.
inline void UseTestServer(const std::string& flavour, std::string& password, std::string& owner) {
  const char* env = std::getenv("VELMORA_SQL_SERVERS_ENV");
  auto servers = sqltest_env::Servers(env && *env ? env : VELMORA_SQL_SERVERS_ENV);
  ASSERT_FALSE(servers.empty()) << "the test servers are not running (" VELMORA_SQL_SERVERS_ENV ")";
  password = sqltest_env::Password(servers, flavour);
  owner = sqltest_env::Owner(servers, flavour, password);
  upg::ResetSettings();
  upg::ReadSwitches();
  upg::ds_SetOption("odbcflavour", flavour);
}

}  // namespace sqltest
