// The stand-in's side in one process: the registrations its clients made
// and the two notification threads that deliver the table's changes to them,
// as Core Audio's own threads do (endpoint changes on one, session changes
// on the other), never on the thread that caused the change.
//
// As on Windows, an unregistration waits for that registration's callback
// in flight. Made from inside that very callback it would wait for itself
// for ever; the stand-in records that as a violation and answers
// ERROR_POSSIBLE_DEADLOCK instead of hanging. The session thread also
// watches the processes that own sessions and ends their sessions when they
// die.
#pragma once

#include <windows.h>
#include <audiopolicy.h>
#include <mmdeviceapi.h>

#include <atomic>
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>

#include "tools/simlaptop/simaudio/sim_audio_table.h"

namespace zu::simaudio {

enum class RegistrationKind { kEndpointClient, kSessionNotification, kSessionEvents };

class Notifier {
 public:
  // The process's notifier, started on first use and kept to the process's
  // end; null when the table cannot be opened (the reason goes to stderr).
  static Notifier* Get();

  Table& table() { return *table_; }

  // Callbacks for the changes made from now on.
  HRESULT RegisterEndpointClient(IMMNotificationClient* client);
  // Sessions created on `endpoint`, once `enumerated` is set (Core Audio
  // reports new sessions only to a manager that was asked for its session
  // enumerator).
  HRESULT RegisterSessionNotification(const void* manager, Key endpoint,
                                      std::shared_ptr<std::atomic<bool>> enumerated,
                                      IAudioSessionNotification* notification);
  HRESULT RegisterSessionEvents(const void* control, Key session, IAudioSessionEvents* events);

  // Ends the registration of `callback` made on `owner` (null for endpoint
  // clients) and waits for its callback in flight; then lets go of it.
  // `method` names the caller in a violation.
  HRESULT Unregister(RegistrationKind kind, const void* owner, IUnknown* callback, const char* method);

 private:
  struct Registration {
    RegistrationKind kind;
    const void* owner;
    IUnknown* callback;  // referenced until the registration ends
    Key key;             // the endpoint or session it watches
    uint64_t since;      // the first change it is told of
    std::shared_ptr<std::atomic<bool>> enumerated;
    int inFlight = 0;
    DWORD thread = 0;    // the thread inside its callback
    bool removed = false;
    bool releaseAfterCall = false;  // ended while its callback could not be waited for
  };
  enum class Channel { kEndpoints, kSessions };

  explicit Notifier(std::unique_ptr<Table> table);
  HRESULT Add(std::shared_ptr<Registration> registration);
  void Run(Channel channel, Table::Subscription subscription);
  void Deliver(Channel channel, const Change& change);
  // Calls `call` with each registration that matches, one at a time, marked
  // as in flight on this thread.
  template <class Match, class Call>
  void ForEach(Match match, Call call);

  std::unique_ptr<Table> table_;
  std::mutex mutex_;
  std::condition_variable idle_;
  std::list<std::shared_ptr<Registration>> registrations_;
};

}  // namespace zu::simaudio
