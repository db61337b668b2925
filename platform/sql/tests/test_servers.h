#pragma once
// The private test servers' ports, users and passwords (servers.env of
// scripts/test-servers) and connection strings for them.
#include <fstream>
#include <map>
#include <string>

namespace sqltest_env {

inline std::map<std::string, std::string> Servers(const std::string& envFile) {
  std::map<std::string, std::string> out;
  std::ifstream in(envFile);
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq != std::string::npos) out[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return out;
}

// The owner string of the MariaDB test database, or of the Firebird one
// for the flavour "FIREBIRD", with the given password.
inline std::string Owner(const std::map<std::string, std::string>& s, const std::string& flavour,
                         const std::string& password) {
  auto get = [&](const char* k) {
    auto it = s.find(k);
    return it == s.end() ? std::string() : it->second;
  };
  if (flavour == "FIREBIRD")
    return "SERVER=127.0.0.1;PORT=" + get("FIREBIRD_PORT") + ";DATABASE=" + get("FIREBIRD_DATABASE") +
           ";UID=" + get("FIREBIRD_USER") + ";PWD=" + password;
  return "DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=" + get("MARIADB_PORT") +
         ";DATABASE=" + get("MARIADB_DATABASE") + ";UID=" + get("MARIADB_USER") + ";PWD=" + password +
         ";CHARSET=latin1";
}

inline std::string Password(const std::map<std::string, std::string>& s, const std::string& flavour) {
  auto it = s.find(flavour == "FIREBIRD" ? "FIREBIRD_PASSWORD" : "MARIADB_PASSWORD");
  return it == s.end() ? std::string() : it->second;
}

}  // namespace sqltest_env
