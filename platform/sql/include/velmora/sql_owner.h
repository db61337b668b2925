#pragma once
// The one reader of connection strings (a file's owner): its settings and
// where its password stands, for connecting and for masking the password
// in every text that shows an owner or a statement.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::sql {

// One setting of a text: [begin, end) is the key, "=" and the value;
// the value starts at valueBegin (at its quote or brace, when it has one).
// `value` is what the server receives: without quotes or braces, a doubled
// quote read as one, blanks around an unquoted value dropped. A password
// given by position (below) has an empty key and no "=".
struct Setting {
  std::string key;  // upper case
  size_t begin = 0, valueBegin = 0, end = 0;
  std::string value;
};

// The key=value settings of a connection string ("A=1; B = {x;y}; C='z'").
std::vector<Setting> ownerSettings(std::string_view owner);

// Every password setting in any text (a statement, a trace line): the keys
// PWD and PASSWORD in any case, also at the end of a longer word
// ("@rmtpassword"), blanks allowed around "=".
std::vector<Setting> passwordSettings(std::string_view text);

// Where the password of an owner of `driver` ("MSSQL", "ORACLE",
// "SQLANYWHERE", "ODBC" or their codes "MSS", "ORA", "ASA", "ODB") stands:
// its PWD/PASSWORD settings; without any, the field that holds it by
// position: "MSS" server,database,user,password; "ASA" and "ODB"
// database,user,password; "ORA" user,password or user/password@service
// (the service follows the last "@", so a password may hold one).
std::vector<Setting> ownerPasswords(std::string_view owner, std::string_view driver);

// The server code of a driver name ("MSSQL" gives "MSS"); other names
// come back upper-cased.
std::string serverCode(std::string_view driver);

}  // namespace velmora::sql
