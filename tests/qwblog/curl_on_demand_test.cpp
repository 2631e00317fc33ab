// libcurl opened on first call: nothing of it is mapped before, and every kind of option
// argument (long, pointer, callback, 64-bit size) and of information reaches the library
// and comes back intact through the forwarding functions.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>

#include "qwblog/QWBlogAPI.h"
#include "tests/qwblog/RawServer.h"
#include "tests/support/TestEnv.h"

namespace {

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

}  // namespace

// Runs first (the order of this file): the library is opened by the first call only.
TEST(CurlOnDemand, NothingIsMappedUntilTheFirstCall) {
  EXPECT_FALSE(LibraryMapped("/libcurl.so"));
  ASSERT_TRUE(QWBlogGlobalInit());
  EXPECT_TRUE(LibraryMapped("/libcurl.so"));
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->version_num >> 16, LIBCURL_VERSION_MAJOR);
}

TEST(CurlOnDemand, EveryKindOfArgumentArrives) {
  ASSERT_TRUE(QWBlogGlobalInit());
  const std::string body(100, 'x');
  RawServer server([&](RawServer&, int fd, const std::string&) {
    RawServer::SendAll(fd, RawServer::Response(200, body, "X-Probe: 1\r\n"));
  });

  std::string received;
  curl_slist* headers = curl_slist_append(nullptr, "X-Sent: yes");
  ASSERT_NE(headers, nullptr);
  CURL* h = curl_easy_init();
  ASSERT_NE(h, nullptr);
  const std::string url = server.Url("/probe");
  const char post[] = "12345 and more the size leaves out";
  EXPECT_EQ(curl_easy_setopt(h, CURLOPT_URL, url.c_str()), CURLE_OK);        // pointer
  EXPECT_EQ(curl_easy_setopt(h, CURLOPT_TIMEOUT, 20L), CURLE_OK);            // long
  EXPECT_EQ(curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers), CURLE_OK);     // list
  EXPECT_EQ(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect), CURLE_OK);  // callback
  EXPECT_EQ(curl_easy_setopt(h, CURLOPT_WRITEDATA, &received), CURLE_OK);    // pointer
  EXPECT_EQ(curl_easy_setopt(h, CURLOPT_POSTFIELDS, post), CURLE_OK);        // pointer
  EXPECT_EQ(curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t{5}), CURLE_OK);
  EXPECT_EQ(curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t{1000}), CURLE_OK);
  ASSERT_EQ(curl_easy_perform(h), CURLE_OK);
  EXPECT_EQ(received, body);

  long status = 0;
  curl_off_t downloaded = -1;
  EXPECT_EQ(curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status), CURLE_OK);
  EXPECT_EQ(curl_easy_getinfo(h, CURLINFO_SIZE_DOWNLOAD_T, &downloaded), CURLE_OK);
  EXPECT_EQ(status, 200);
  EXPECT_EQ(downloaded, 100);

  // The request carried the list's header and exactly the five bytes the size named.
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string request = server.Requests()[0];
  EXPECT_NE(request.find("X-Sent: yes\r\n"), std::string::npos);
  EXPECT_NE(request.find("Content-Length: 5\r\n"), std::string::npos);
  EXPECT_EQ(request.substr(request.size() - 5), "12345");

  // A 64-bit limit below the answer's size stops the transfer: the value arrived.
  received.clear();
  EXPECT_EQ(curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, curl_off_t{10}), CURLE_OK);
  EXPECT_EQ(curl_easy_perform(h), CURLE_FILESIZE_EXCEEDED);
  EXPECT_TRUE(received.empty());

  curl_easy_cleanup(h);
  curl_slist_free_all(headers);
}

TEST(CurlOnDemand, TextFunctionsForward) {
  ASSERT_TRUE(QWBlogGlobalInit());
  CURL* h = curl_easy_init();
  ASSERT_NE(h, nullptr);
  char* escaped = curl_easy_escape(h, "a b/ü", 0);
  ASSERT_NE(escaped, nullptr);
  EXPECT_STREQ(escaped, "a%20b%2F%C3%BC");
  curl_free(escaped);
  EXPECT_STREQ(curl_easy_strerror(CURLE_FILESIZE_EXCEEDED), "Maximum file size exceeded");
  curl_easy_cleanup(h);
}
