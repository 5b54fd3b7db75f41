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
#include <functional>
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

std::string WebPictureHost(const std::string& name, std::string* why) {
  const QUrl url(QString::fromStdString(name), QUrl::StrictMode);
  if (!url.isValid() || (url.scheme() != "http" && url.scheme() != "https") || url.host().isEmpty()) {
    if (why) *why = name + " is not a web address Kestrova can fetch";
    return {};
  }
  if (!url.userInfo().isEmpty()) {
    if (why) *why = name + " names a user before its host, so it would be fetched from " +
                    url.host().toStdString() + "; Kestrova does not fetch such names";
    return {};
  }
  return url.host().toStdString();
}

namespace {

// Looks a host up without blocking: the answer (its addresses, or none)
// arrives in `done`, inside the event loop the fetch's deadline runs in.
void lookUp(const QUrl& url, QObject* context, const std::function<void(std::vector<std::string>)>& done) {
  const QHostAddress literal(url.host());
  if (!literal.isNull()) {
    done({literal.toString().toStdString()});
    return;
  }
  QHostInfo::lookupHost(url.host(), context, [done](const QHostInfo& info) {
    std::vector<std::string> out;
    for (const QHostAddress& address : info.addresses()) out.push_back(address.toString().toStdString());
    done(out);
  });
}

}  // namespace

HttpResult HttpGet(const std::string& url, int timeoutMs, int64_t maxBytes) {
  HttpResult result;
  std::string why;
  if (WebPictureHost(url, &why).empty()) {
    result.error = why;
    return result;
  }
  const QUrl address(QString::fromStdString(url), QUrl::StrictMode);
  QNetworkAccessManager manager;
  QNetworkRequest request(address);
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                       QNetworkRequest::UserVerifiedRedirectPolicy);
  QEventLoop loop;
  QObject scope;  // lookups answered after the fetch ends are dropped with it
  QTimer timer;
  timer.setSingleShot(true);
  bool timedOut = false;
  bool tooLarge = false;
  bool refusedRedirect = false;
  bool finished = false;
  QNetworkReply* reply = nullptr;
  std::vector<std::string> originAddresses;
  auto finish = [&] {
    finished = true;
    loop.quit();
  };
  QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
    timedOut = true;
    if (reply) reply->abort();
    finish();
  });
  // The deadline counts from here: the host's lookup is part of it, so a
  // silent resolver cannot stretch it.
  timer.start(timeoutMs);
  lookUp(address, &scope, [&](std::vector<std::string> addresses) {
    if (finished) return;
    originAddresses = std::move(addresses);
    reply = manager.get(request);
    QObject::connect(reply, &QNetworkReply::redirected, &scope, [&, reply](const QUrl& target) {
      lookUp(target, &scope, [&, reply, target](std::vector<std::string> targetAddresses) {
        if (finished) return;
        if (RedirectAllowed(url, originAddresses, target.toString().toStdString(), targetAddresses)) {
          emit reply->redirectAllowed();
        } else {
          refusedRedirect = true;
          reply->abort();
        }
      });
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, &scope, [&, reply](qint64 received, qint64 total) {
      if (received > maxBytes || total > maxBytes) {
        tooLarge = true;
        reply->abort();
      }
    });
    QObject::connect(reply, &QNetworkReply::finished, &scope, finish);
  });
  if (!finished) loop.exec();
  timer.stop();

  if (refusedRedirect) {
    result.error = url + " sent Kestrova to a local address, which a picture link may not reach";
  } else if (timedOut || !reply) {
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
  delete reply;
  return result;
}

}  // namespace kestrova
