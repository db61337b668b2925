// Picks the backend for a driver and owner string and keeps one connection per owner per thread.
#include <algorithm>
#include <cctype>
#include <map>

#include "sql_internal.h"

namespace velmora::sql {
namespace detail {

namespace {
std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}
}  // namespace

std::map<std::string, std::string> parseOwner(const std::string& owner) {
  std::map<std::string, std::string> out;
  size_t i = 0;
  while (i < owner.size()) {
    size_t eq = owner.find('=', i);
    if (eq == std::string::npos) break;
    std::string key = upper(trim(owner.substr(i, eq - i)));
    size_t j = eq + 1;
    std::string value;
    if (j < owner.size() && owner[j] == '{') {  // {braced;value}
      size_t close = owner.find('}', j + 1);
      if (close == std::string::npos) close = owner.size();
      value = owner.substr(j + 1, close - j - 1);
      j = owner.find(';', close);
    } else {
      size_t semi = owner.find(';', j);
      value = trim(owner.substr(j, semi == std::string::npos ? std::string::npos : semi - j));
      j = semi;
    }
    if (!key.empty()) out[key] = value;
    if (j == std::string::npos) break;
    i = j + 1;
  }
  return out;
}

}  // namespace detail

std::string maskPassword(const std::string& text, const std::string& owner) {
  std::string out = text;
  for (const auto& [key, value] : detail::parseOwner(owner)) {
    if (value.empty() || (key != "PWD" && key != "PASSWORD")) continue;
    for (size_t at = out.find(value); at != std::string::npos; at = out.find(value, at + 3))
      out.replace(at, value.size(), "***");
  }
  return out;
}

namespace {

struct ThreadConnections {
  std::map<std::string, std::unique_ptr<Connection>> byOwner;
};
thread_local ThreadConnections tls;

std::string driverCode(const std::string& driver) {
  std::string d = driver;
  for (char& c : d) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (d == "MSSQL") return "MSS";
  if (d == "ORACLE") return "ORA";
  if (d == "SQLANYWHERE") return "ASA";
  if (d == "ODBC") return "ODB";
  return d;
}

}  // namespace

Connection* connectionFor(const std::string& driver, const std::string& owner,
                          const std::string& flavour, std::string& error) {
  error.clear();
  std::string code = driverCode(driver);
  std::string fl = flavour;
  for (char& c : fl) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  bool firebird = code == "ODB" && fl == "FIREBIRD";
  std::string key = (firebird ? std::string("FB") : code) + '\x01' + owner;
  if (auto it = tls.byOwner.find(key); it != tls.byOwner.end()) return it->second.get();

  std::unique_ptr<Connection> c;
  if (code == "ORA" || code == "ASA") {
    error = std::string(code == "ORA" ? "ORACLE" : "SQLANYWHERE") +
            ": no client library for this server is installed";
  } else if (firebird) {
    c = detail::openFirebird(owner, error);
  } else if (code == "MSS") {
    auto pairs = detail::parseOwner(owner);
    std::string connect = owner;
    if (!pairs.count("DRIVER") && !pairs.count("DSN")) connect = "DRIVER={FreeTDS};" + owner;
    c = detail::openOdbc(connect, error);
  } else if (code == "ODB") {
    c = detail::openOdbc(owner, error);
  } else {
    error = "unknown SQL driver " + driver;
  }
  if (!c) {
    error = maskPassword(error, owner);
    return nullptr;
  }
  Connection* raw = c.get();
  tls.byOwner.emplace(key, std::move(c));
  return raw;
}

void closeThreadConnections() { tls.byOwner.clear(); }

}  // namespace velmora::sql
