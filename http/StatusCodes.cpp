#include "http/StatusCodes.h"

namespace webtessl {

const std::array<THttpStatusMsg, kHttpStatusCount> HttpStatusMessages = {{
    {200, "OK"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {401, "Unauthorized"},
    {500, "Internal Server Error"},
    {302, "Found"},
    {304, "Not Modified"},
    {206, "Partial Content"},
    {100, "Continue"},
    {101, "Switching Protocols"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {303, "See Other"},
    {305, "Use Proxy"},
    {307, "Temporary Redirect"},
    {400, "Bad Request"},
    {402, "Payment Required"},
    {405, "Method Not Allowed"},
    {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Precondition Failed"},
    {413, "Request Entity Too Large"},
    {414, "Request-URI Too Long"},
    {415, "Unsupported Media Type"},
    {416, "Requested Range Not Satisfiable"},
    {417, "Expectation Failed"},
    {421, "Misdirected Request"},
    {431, "Request Header Fields Too Large"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
    {505, "HTTP Version Not Supported"},
}};

bool StatusText(int32_t code, std::string& text) {
  for (const THttpStatusMsg& row : HttpStatusMessages) {
    if (row.code == code) {
      text = row.text;
      return true;
    }
  }
  return false;
}

}  // namespace webtessl
