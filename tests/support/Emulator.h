// The local service emulator as a child process of a test, and a small client of its
// control interface (JSON over HTTP on loopback).
#pragma once
#include <QJsonArray>
#include <QJsonObject>
#include <map>
#include <string>
#include <vector>

class CEmulator {
 public:
  CEmulator() = default;
  ~CEmulator();  // stops the process
  CEmulator(const CEmulator&) = delete;
  CEmulator& operator=(const CEmulator&) = delete;

  // Starts emulator/plumfinch_emulator.py with its state in stateDir and waits (up to
  // 20 s) until it is ready. False when it did not come up.
  bool Start(const std::string& stateDir);
  void Stop();
  bool Running() const { return m_pid > 0; }

  int Port(const std::string& role) const;  // e.g. "sina_api"; 0 when unknown
  std::string CaFile() const { return m_caFile; }
  // Writes Services.ini pointing every host at the emulator into folder (with CAFile
  // unless withCa is false). Twitter speaks the original interface (Api=1) to the
  // emulator's old Twitter, or with twitterApi 2 X's interface to its X server, with the
  // consumer pair that server knows.
  bool WriteServicesIni(const std::string& folder, bool withCa = true, int twitterApi = 1) const;

  // Control interface. Status < 0 on a transport failure.
  QJsonObject Get(const std::string& pathAndQuery, int* status = nullptr) const;
  QJsonObject Post(const std::string& path, const QJsonObject& body, int* status = nullptr) const;

  void Reset() const;  // POST /control/reset
  QJsonArray Requests(const std::string& service = "") const;
  QJsonArray Posts(const std::string& service = "") const;
  // POST /control/fault; extra holds the mode's own fields ("status", "body", "ms", "count").
  void SetFault(const std::string& service, const std::string& endpoint, const std::string& mode,
                const QJsonObject& extra = {}) const;
  void ClearFaults() const;
  void SetQuirks(const std::string& service, const QJsonObject& quirks) const;
  void SetCounters(const std::string& service, const QJsonObject& counters) const;
  std::string VerifierFor(const std::string& requestToken) const;
  // A plain GET of any emulator URL (e.g. an authorisation page); body in *body.
  int HttpGet(const std::string& url, std::string* body) const;

 private:
  int m_pid = -1;
  std::map<std::string, int> m_ports;
  std::string m_caFile;
  std::string m_control;
};
