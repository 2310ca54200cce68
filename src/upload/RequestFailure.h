#pragma once
// Why a request of the engine failed, in the plain words a user reads beside the row, in the
// upload log's neighbourhood and on vostrand-upload's stderr: "connection refused
// (127.0.0.1:8931)", "connection reset by 127.0.0.1:8931", "timed out after 60 s without an
// answer from 127.0.0.1:8931", "HTTP 407 Proxy Authentication Required from the proxy
// 127.0.0.1:3128", "HTTP 503 Service Unavailable from http://host/upload.php".
#include <cstdint>
#include <string>

class clsHTTP;

// The cause of the request http has just ended, or "" when it ended with an answer whose status
// the caller accepts (200, or the codes in accepted) and its content must decide. stalledSeconds:
// the limit after which the owner gave the request up, 0 when it did not.
std::string RequestFailure(const clsHTTP& http, int32_t stalledSeconds, int32_t accepted = 200);
