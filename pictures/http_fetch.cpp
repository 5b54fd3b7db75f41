#include "http_fetch.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace kestrova {

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
                       QNetworkRequest::NoLessSafeRedirectPolicy);
  QNetworkReply* reply = manager.get(request);
  QEventLoop loop;
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

  if (timedOut) {
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
