// Picks the backend for a driver and owner string and keeps one connection per owner per thread.
#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

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

namespace {

std::string driverCode(const std::string& driver);

std::vector<std::string> commaFields(const std::string& owner) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t comma = owner.find(',', start);
    out.push_back(owner.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) return out;
    start = comma + 1;
  }
}

// The password a connection string holds, empty when none.
std::string passwordOf(const std::string& owner, const std::string& code) {
  auto pairs = detail::parseOwner(owner);
  for (const char* k : {"PWD", "PASSWORD"})
    if (auto it = pairs.find(k); it != pairs.end()) return it->second;
  if (owner.find('=') != std::string::npos) return {};
  auto fields = commaFields(owner);
  if (code == "MSS") return fields.size() > 3 ? fields[3] : std::string();
  if (code == "ORA") {
    if (fields.size() > 1) return fields[1];
    size_t slash = owner.find('/');
    if (slash == std::string::npos) return {};
    size_t at = owner.find('@', slash);
    return owner.substr(slash + 1, at == std::string::npos ? std::string::npos : at - slash - 1);
  }
  return fields.size() > 2 ? fields[2] : std::string();
}

}  // namespace

std::string maskPassword(const std::string& text, const std::string& owner,
                         const std::string& driver) {
  std::string out = text;
  std::string password = passwordOf(owner, driverCode(driver));
  if (password.empty()) return out;
  for (size_t at = out.find(password); at != std::string::npos; at = out.find(password, at + 3))
    out.replace(at, password.size(), "***");
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
    std::string connect = owner;
    if (owner.find('=') == std::string::npos) {
      auto f = commaFields(owner);
      f.resize(4);
      connect = "SERVER=" + f[0] + ";DATABASE={" + f[1] + "};UID={" + f[2] + "};PWD={" + f[3] + "}";
    }
    auto pairs = detail::parseOwner(connect);
    if (!pairs.count("DRIVER") && !pairs.count("DSN")) connect = "DRIVER={FreeTDS};" + connect;
    c = detail::openOdbc(connect, error);
  } else if (code == "ODB") {
    c = detail::openOdbc(owner, error);
  } else {
    error = "unknown SQL driver " + driver;
  }
  if (!c) {
    error = maskPassword(error, owner, code);
    return nullptr;
  }
  Connection* raw = c.get();
  tls.byOwner.emplace(key, std::move(c));
  return raw;
}

void closeThreadConnections() { tls.byOwner.clear(); }

}  // namespace velmora::sql
