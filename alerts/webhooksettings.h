#pragma once
// Where alert changes are posted: [alerts] webhook_url, up to MaxHeaders extra request headers
// ("webhook_header", "webhook_header.2", ... each "Name: value", for a token) and webhook_plain_text
// (1: a line of text instead of JSON, for chat services that take text).
//
// Only http:// and https:// addresses with a host are taken. A URL may hold a user and password;
// every text meant for a log or a message shows it masked (maskedUrl).

#include <string>
#include <vector>

struct TWebhookSettings {
  static constexpr int MaxHeaders = 9;

  std::string url;                   // empty = no webhook
  std::vector<std::string> headers;  // "Name: value"
  bool plainText = false;

  bool operator==(const TWebhookSettings&) const = default;

  // Refused values add a message to `problems` (when given) and are left out.
  static TWebhookSettings load(std::vector<std::string>* problems = nullptr);
  void store() const;
};

// The message refusing a webhook URL as typed, or empty when it is fine (an empty URL is fine).
std::string checkWebhookUrl(const std::string& text);
// The message refusing a header line, or empty when it is fine.
std::string checkWebhookHeader(const std::string& text);
// The URL with its user and password replaced by "***" ("https://***@hooks.example/x").
std::string maskedUrl(const std::string& url);
