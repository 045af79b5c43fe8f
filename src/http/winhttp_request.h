// The page request.
#pragma once

#include "text/types.h"

namespace varnelo {

// Arguments of fetchWithWinHttp in their call order. Outputs are pointers;
// null means omitted (written to a scratch value). `cookies` is read as the
// cookie text to send (null: empty) and receives the merged cookies.
struct WinHttpOptions {
  Text url{};
  int method = 0;
  Text postText{};
  Text* cookies = nullptr;
  Text* receivedCookies = nullptr;
  Text headers{};
  Text* responseHeaders = nullptr;
  bool noRedirect = false;
  Text userName{};
  Text password{};
  Text proxy{};
  Text proxyUser{};
  Text proxyPassword{};
  int timeoutSeconds = 0;
  Text* location = nullptr;
  Text* statusText = nullptr;
  Bytes* body = nullptr;
  bool mergeReceivedCookies = true;
  bool addDefaultHeaders = true;
  Bytes postBytes{};
  bool normaliseHeaders = true;
};

// The messages the page request writes into its status output, in code page
// 936; the texts in the comments are their Chinese spelling.
// "700 当前系统不支持WinHttp服务!"
inline const Text kMessage700 = "700 \xb5\xb1\xc7\xb0\xcf\xb5\xcd\xb3\xb2\xbb\xd6\xa7\xb3\xd6WinHttp\xb7\xfe\xce\xf1!";
// "701 解析URL地址失败!"
inline const Text kMessage701 = "701 \xbd\xe2\xce\xf6URL\xb5\xd8\xd6\xb7\xca\xa7\xb0\xdc!";
// "702 创建WinHttp会话失败!"
inline const Text kMessage702 = "702 \xb4\xb4\xbd\xa8WinHttp\xbb\xe1\xbb\xb0\xca\xa7\xb0\xdc!";
// "703 创建WinHttp连接失败!"
inline const Text kMessage703 = "703 \xb4\xb4\xbd\xa8WinHttp\xc1\xac\xbd\xd3\xca\xa7\xb0\xdc!";
// "704 创建WinHttp请求失败!"
inline const Text kMessage704 = "704 \xb4\xb4\xbd\xa8WinHttp\xc7\xeb\xc7\xf3\xca\xa7\xb0\xdc!";
// "705 设置超时时间失败!"
inline const Text kMessage705 = "705 \xc9\xe8\xd6\xc3\xb3\xac\xca\xb1\xca\xb1\xbc\xe4\xca\xa7\xb0\xdc!";
// "707 设置代理凭证失败!" (for the server's credentials too)
inline const Text kMessage707 = "707 \xc9\xe8\xd6\xc3\xb4\xfa\xc0\xed\xc6\xbe\xd6\xa4\xca\xa7\xb0\xdc!";
// "忽略错误/证书错误  失败！" (no number, two spaces, a full-width "!")
inline const Text kMessageCertificate = "\xba\xf6\xc2\xd4\xb4\xed\xce\xf3/\xd6\xa4\xca\xe9\xb4\xed\xce\xf3  \xca\xa7\xb0\xdc\xa3\xa1";
// "708 禁止自动设置Cookies失败!"
inline const Text kMessage708 = "708 \xbd\xfb\xd6\xb9\xd7\xd4\xb6\xaf\xc9\xe8\xd6\xc3" "Cookies\xca\xa7\xb0\xdc!";
// "709 重定向设置失败!"
inline const Text kMessage709 = "709 \xd6\xd8\xb6\xa8\xcf\xf2\xc9\xe8\xd6\xc3\xca\xa7\xb0\xdc!";
// "710 设置协议头失败!"
inline const Text kMessage710 = "710 \xc9\xe8\xd6\xc3\xd0\xad\xd2\xe9\xcd\xb7\xca\xa7\xb0\xdc!";
// "711 发送请求失败!"
inline const Text kMessage711 = "711 \xb7\xa2\xcb\xcd\xc7\xeb\xc7\xf3\xca\xa7\xb0\xdc!";
// "712 服务器未响应!"
inline const Text kMessage712 = "712 \xb7\xfe\xce\xf1\xc6\xf7\xce\xb4\xcf\xec\xd3\xa6!";
// "713 读取数据失败!"
inline const Text kMessage713 = "713 \xb6\xc1\xc8\xa1\xca\xfd\xbe\xdd\xca\xa7\xb0\xdc!";

// Fetches `options.url` and returns the body decoded into code page 936;
// empty text when the request failed (statusText then says why).
Text fetchWithWinHttp(const WinHttpOptions& options);

// The value of the first line of the request header `block` that begins with
// `name`: the text after the last "name: " in that line; empty when none.
Text headerValue(const Text& block, const Text& name);

}  // namespace varnelo
