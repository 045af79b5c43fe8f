#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "http/wininet_request.h"

namespace varnelo {
namespace {

struct AddressCase {
  std::string url;
  std::string host;          // without the port
  std::string hostWithPort;  // keepPort set
  int port;
  std::string path;
};

TEST(AddressParsing, SplitsAddressesIntoHostPortAndPath) {
  const std::vector<AddressCase> cases = {
      {"http://example.com/pics/a.jpg", "example.com", "example.com", 80, "/pics/a.jpg"},
      {"https://example.com/pics/a.jpg", "example.com", "example.com", 443, "/pics/a.jpg"},
      // Scheme and host in capitals: secure, host lower-cased, path as written.
      {"HTTPS://WWW.Example.COM/Img/X.JPG?Q=1#F", "www.example.com", "www.example.com", 443,
       "/Img/X.JPG?Q=1#F"},
      {"Http://Example.com/A", "example.com", "example.com", 80, "/A"},
      // No scheme: plain HTTP on port 80.
      {"example.com/dir/p.gif", "example.com", "example.com", 80, "/dir/p.gif"},
      {"example.com", "example.com", "example.com", 80, "/"},
      // No path.
      {"http://example.com", "example.com", "example.com", 80, "/"},
      {"https://example.com/", "example.com", "example.com", 443, "/"},
      // Explicit ports.
      {"http://host:8080/x", "host", "host:8080", 8080, "/x"},
      {"https://host:8443", "host", "host:8443", 8443, "/"},
      {"host:81/x?y=1", "host", "host:81", 81, "/x?y=1"},
      {"http://host:/x", "host", "host:", 0, "/x"},
      {"http://host:abc/x", "host", "host:abc", 0, "/x"},
      {"http://host:12ab/x", "host", "host:12ab", 12, "/x"},
      {"http://host:99999999999999999999/x", "host", "host:99999999999999999999", INT_MAX, "/x"},
      {"https://host:0080/", "host", "host:0080", 80, "/"},
      // A query straight after the host stays in the host.
      {"http://example.com?q=1", "example.com?q=1", "example.com?q=1", 80, "/"},
      // An "http://" in the query of a scheme-less address names no server.
      {"example.com/go?to=http://other.net/x", "example.com", "example.com", 80,
       "/go?to=http://other.net/x"},
      // A host that also occurs inside the scheme.
      {"http://h/x", "h", "h", 80, "/x"},
      {"https://tp/a/b", "tp", "tp", 443, "/a/b"},
      {"http://http/x", "http", "http", 80, "/x"},
      // "https" without "://" is a host name, not a scheme.
      {"httpsmirror.example/x", "httpsmirror.example", "httpsmirror.example", 80, "/x"},
      // The path keeps its own letter case also where it repeats the host.
      {"http://Ab.com/AB.COM/x", "ab.com", "ab.com", 80, "/AB.COM/x"},
      // Two-byte characters are never lower-cased.
      {"http://\xD6\xD0\xCE\xC4.CN/\xCD\xBC.JPG", "\xD6\xD0\xCE\xC4.cn", "\xD6\xD0\xCE\xC4.cn", 80,
       "/\xCD\xBC.JPG"},
      {"", "", "", 80, "/"},
  };
  for (const AddressCase& c : cases) {
    EXPECT_EQ(hostOfUrl(c.url), c.host) << c.url;
    EXPECT_EQ(hostOfUrl(c.url, true), c.hostWithPort) << c.url;
    EXPECT_EQ(portOfUrl(c.url), c.port) << c.url;
    EXPECT_EQ(pathOfUrl(c.url), c.path) << c.url;
  }
}

TEST(AddressParsing, MalformedAddressesGiveSomePathAndNeverCrash) {
  const std::vector<std::string> addresses = {
      "\x81",        "http://\x81",   "http://host\x81", "http://a\x81/b/c", "://",
      ":",           "/",             "//",              "http:///x",        "https://",
      "http://:/",   "http://a:b:c/", "\xA1\xA1",        std::string(20000, 'a'),
      "http://" + std::string(20000, ':') + "/",
  };
  for (const std::string& url : addresses) {
    const Text path = pathOfUrl(url);
    ASSERT_FALSE(path.empty()) << url;
    EXPECT_EQ(path[0], '/') << url;
    EXPECT_TRUE(path == "/" || url.ends_with(path)) << url;
    EXPECT_GE(portOfUrl(url), 0) << url;
  }
}

TEST(ValueAfterColon, IsTheTrimmedRestAfterTheFirstColon) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"User-Agent: X", "X"},
      {"User-Agent:   X Y  ", "X Y"},
      {"no colon", ""},
      {"", ""},
      {":", ""},
      {"a:b:c", "b:c"},
      {"k:\tv", "\tv"},  // only spaces are trimmed
      {"k: \xA1\xA1v\xA1\xA1", "v"},
      {"\x81:x: y", "y"},  // the ":" inside a two-byte character does not count
      {"user-agent: X\r\nAccept: */*", "X\r\nAccept: */*"},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(valueAfterColon(text), value) << text;
}

}  // namespace
}  // namespace varnelo
