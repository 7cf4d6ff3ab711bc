#pragma once

// Module tesselRequestHandler: the "/find" search handler.

#include <memory>
#include <string>

#include "common/Exception.h"
#include "http/RequestHandlerIntf.h"
#include "search/SearchParameters.h"

namespace webtessl {

class TIniFile;

// The desktop application's answer was not a JSON object with a "results" array.
class ESearchAnswerError : public Exception {
 public:
  explicit ESearchAnswerError(const std::string& message)
      : Exception("ESearchAnswerError", message) {}
};

// The path this handler claims, compared exactly.
constexpr char kSearchPath[] = "/find";

// Answers "/find": reads the settings and the query parameters, asks the desktop search
// application over the desktop message layer, completes the results from the file system and
// answers JSON or an HTML fragment; 404 without a body when the application gave no answer. One
// instance serves every connection at once: every value of a request lives in its call, and the
// handler itself only holds the configuration reader, which must outlive it.
class TTesselRequestHandler final : public IRequestHandler {
 public:
  TTesselRequestHandler() = default;
  TTesselRequestHandler(const TTesselRequestHandler&) = delete;
  TTesselRequestHandler& operator=(const TTesselRequestHandler&) = delete;

  // Gives the handler its configuration file; call once, before the server is activated.
  // Without one the settings keep their defaults.
  void SetIniFile(const TIniFile* iniFile) { iniFile_ = iniFile; }
  // The settings as the file holds them now. Thread-safe.
  TSearchSettings LoadSettings() const;

  // Claims requests whose path is exactly "/find" and answers them. Raises ESearchAnswerError
  // when the application's answer cannot be used, which ends the connection without a response.
  // Thread-safe.
  bool HandleRequest(std::unique_ptr<THttpRequest>& request,
                     std::unique_ptr<THttpRequest>& response) override;
  // "tessel".
  std::string GetName() const override;

  // Answers one claimed search request.
  void RunSearch(const THttpRequest& request, THttpRequest& response) const;

 private:
  const TIniFile* iniFile_ = nullptr;
};

// A search handler reading its settings from the configuration file, which must outlive it.
IRequestHandlerRef NewSearchHandler(const TIniFile& iniFile);

}  // namespace webtessl
