#include "http_fetch.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>

namespace kestrova {

bool IsLocalAddress(const std::string& text) {
  const QHostAddress address(QString::fromStdString(text));
  if (address.isNull()) return false;
  if (address.isLoopback() || address.isLinkLocal() || address.isNull() ||
      address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6) {
    return true;
  }
  if (address.protocol() == QAbstractSocket::IPv4Protocol) {
    const quint32 v4 = address.toIPv4Address();
    return (v4 >> 24) == 10 || (v4 >> 20) == (172u << 4 | 1) || (v4 >> 16) == (192u << 8 | 168) || v4 == 0;
  }
  bool mapped = false;
  const quint32 v4 = address.toIPv4Address(&mapped);
  if (mapped) return IsLocalAddress(QHostAddress(v4).toString().toStdString());
  return address.isInSubnet(QHostAddress("fc00::"), 7) || address.isInSubnet(QHostAddress("fe80::"), 10);
}

bool RedirectAllowed(const std::string& from, const std::vector<std::string>& fromAddresses, const std::string& to,
                     const std::vector<std::string>& toAddresses) {
  const QUrl target(QString::fromStdString(to));
  if (!target.isValid() || (target.scheme() != "http" && target.scheme() != "https")) return false;
  auto anyLocal = [](const std::vector<std::string>& addresses) {
    return std::any_of(addresses.begin(), addresses.end(), [](const std::string& a) { return IsLocalAddress(a); });
  };
  const QUrl origin(QString::fromStdString(from));
  const bool originLocal = anyLocal(fromAddresses) || origin.host() == "localhost";
  if (originLocal) return true;
  return !anyLocal(toAddresses) && target.host() != "localhost";
}

namespace {

std::vector<std::string> addressesOf(const QUrl& url) {
  std::vector<std::string> out;
  const QHostAddress literal(url.host());
  if (!literal.isNull()) return {literal.toString().toStdString()};
  for (const QHostAddress& address : QHostInfo::fromName(url.host()).addresses()) {
    out.push_back(address.toString().toStdString());
  }
  return out;
}

}  // namespace

HttpResult HttpGet(const std::string& url, int timeoutMs, int64_t maxBytes) {
  HttpResult result;
  const QUrl address(QString::fromStdString(url));
  if (!address.isValid() || (address.scheme() != "http" && address.scheme() != "https")) {
    result.error = "not a web address: " + url;
    return result;
  }
  QNetworkAccessManager manager;
  QNetworkRequest request(address);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::UserVerifiedRedirectPolicy);
  const std::vector<std::string> originAddresses = addressesOf(address);
  QNetworkReply* reply = manager.get(request);
  QEventLoop loop;
  bool refusedRedirect = false;
  QObject::connect(reply, &QNetworkReply::redirected, &loop, [&](const QUrl& target) {
    if (RedirectAllowed(url, originAddresses, target.toString().toStdString(), addressesOf(target))) {
      emit reply->redirectAllowed();
    } else {
      refusedRedirect = true;
      reply->abort();
    }
  });
  QTimer timer;
  timer.setSingleShot(true);
  bool timedOut = false;
  bool tooLarge = false;
  QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
    timedOut = true;
    reply->abort();
  });
  QObject::connect(reply, &QNetworkReply::downloadProgress, &loop,
                   [&](qint64 received, qint64 total) {
                     if (received > maxBytes || total > maxBytes) {
                       tooLarge = true;
                       reply->abort();
                     }
                   });
  QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
  timer.start(timeoutMs);
  if (!reply->isFinished()) loop.exec();
  timer.stop();

  if (refusedRedirect) {
    result.error = url + " sent Kestrova to a local address, which a picture link may not reach";
  } else if (timedOut) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", timeoutMs / 1000.0);
    result.error = "no answer from " + url + " within " + seconds + " s";
  } else if (tooLarge) {
    result.error = "the answer from " + url + " is larger than " +
                   std::to_string(maxBytes / (1024 * 1024)) + " MB";
  } else if (reply->error() != QNetworkReply::NoError) {
    result.error = url + ": " + reply->errorString().toStdString();
  } else {
    const QByteArray data = reply->readAll();
    if (data.size() > maxBytes) {
      result.error = "the answer from " + url + " is too large";
    } else {
      result.body.assign(data.begin(), data.end());
      result.ok = true;
    }
  }
  reply->deleteLater();
  return result;
}

}  // namespace kestrova
