// Picks the backend for a driver and owner string and keeps one connection per owner per thread.
#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

#include "sql_internal.h"
#include "velmora/sql_owner.h"

namespace velmora::sql {
namespace detail {

std::map<std::string, std::string> parseOwner(const std::string& owner) {
  std::map<std::string, std::string> out;
  for (const Setting& s : ownerSettings(owner)) out[s.key] = s.value;
  return out;
}

}  // namespace detail

namespace {

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

}  // namespace

std::string maskPassword(const std::string& text, const std::string& owner,
                         const std::string& driver) {
  std::string out = text;
  for (const Setting& s : ownerPasswords(owner, driver)) {
    const std::string& password = s.value;
    if (password.empty()) continue;
    for (size_t at = out.find(password); at != std::string::npos; at = out.find(password, at + 3))
      out.replace(at, password.size(), "***");
  }
  return out;
}

namespace {

struct ThreadConnections {
  std::map<std::string, std::unique_ptr<Connection>> byOwner;
};
thread_local ThreadConnections tls;

}  // namespace

Connection* connectionFor(const std::string& driver, const std::string& owner,
                          const std::string& flavour, std::string& error) {
  error.clear();
  std::string code = serverCode(driver);
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
