#include "webhooksettings.h"

#include <QUrl>

#include <algorithm>
#include <string_view>

#include "config/settings.h"

namespace {

constexpr const char* Section = "alerts";

std::string headerKey(int index) {
  return index == 1 ? std::string("webhook_header") : "webhook_header." + std::to_string(index);
}

bool isTokenChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

}  // namespace

std::string maskedUrl(const std::string& text) {
  // By the text, not by a parser: a URL too broken to parse must not show its password either.
  const std::size_t schemeEnd = text.find("://");
  const std::size_t hostStart = schemeEnd == std::string::npos ? 0 : schemeEnd + 3;
  const std::size_t authorityEnd = std::min(text.find_first_of("/?#", hostStart), text.size());
  const std::size_t at = text.rfind('@', authorityEnd == 0 ? 0 : authorityEnd - 1);
  if (at == std::string::npos || at < hostStart || at >= authorityEnd) return text;
  return text.substr(0, hostStart) + "***" + text.substr(at);
}

std::string checkWebhookUrl(const std::string& text) {
  if (text.empty()) return {};
  const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
  const QString scheme = url.scheme().toLower();
  if (url.isValid() && (scheme == "http" || scheme == "https") && !url.host().isEmpty()) return {};
  return "Alerts: \"" + maskedUrl(text) +
         "\" is refused for the webhook (webhook_url); it must be an http:// or https:// address.";
}

std::string checkWebhookHeader(const std::string& text) {
  const std::size_t colon = text.find(':');
  bool fine = colon != std::string::npos && colon > 0;
  for (std::size_t at = 0; fine && at < colon; ++at) fine = isTokenChar(text[at]);
  for (char c : text) fine = fine && c != '\r' && c != '\n' && c != '\0';
  if (fine) return {};
  return "Alerts: a webhook header must read \"Name: value\"; \"" + text.substr(0, text.find(':')) +
         "…\" is left out.";
}

TWebhookSettings TWebhookSettings::load(std::vector<std::string>* problems) {
  TWebhookSettings s;
  s.url = extraSetting(Section, "webhook_url").value_or("");
  if (const std::string refusal = checkWebhookUrl(s.url); !refusal.empty()) {
    if (problems) problems->push_back(refusal + " No webhook is sent.");
    s.url.clear();
  }
  for (int index = 1; index <= MaxHeaders; ++index) {
    const std::string line = extraSetting(Section, headerKey(index)).value_or("");
    if (line.empty()) continue;
    if (const std::string refusal = checkWebhookHeader(line); !refusal.empty()) {
      if (problems) problems->push_back(refusal);
      continue;
    }
    s.headers.push_back(line);
  }
  const std::string plain = extraSetting(Section, "webhook_plain_text").value_or("");
  if (plain == "1" || plain == "0" || plain.empty()) {
    s.plainText = plain == "1";
  } else if (problems) {
    problems->push_back("Alerts: webhook_plain_text must be 0 or 1, not \"" + plain + "\".");
  }
  return s;
}

void TWebhookSettings::store() const {
  setExtraSetting(Section, "webhook_url", url);
  for (int index = 1; index <= MaxHeaders; ++index)
    setExtraSetting(Section, headerKey(index),
                    index <= static_cast<int>(headers.size()) ? headers[static_cast<std::size_t>(index - 1)] : "");
  setExtraSetting(Section, "webhook_plain_text", plainText ? "1" : "0");
}
