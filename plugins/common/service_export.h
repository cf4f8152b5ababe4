// The library's single service object and its export.
//
// A plug-in keeps its object in a ServiceInstance, creates it at process
// attach (or leaves it empty when its hardware is absent), destroys it at
// detach, and exports it with ZU_EXPORT_SERVICE_CONTROL_BLOCK:
//
//   static zu::ServiceInstance<Veilpane> g_service;
//   ZU_EXPORT_SERVICE_CONTROL_BLOCK(g_service.get())
#pragma once

#include <atomic>
#include <utility>

#include "plugins/common/platform_service.h"

namespace zu {

template <class Service>
class ServiceInstance {
 public:
  template <class... Args>
  Service* Create(Args&&... args) {
    Destroy();
    auto* service = new Service(std::forward<Args>(args)...);
    service_.store(service, std::memory_order_release);
    return service;
  }
  void Destroy() { delete service_.exchange(nullptr, std::memory_order_acq_rel); }
  Service* get() const { return service_.load(std::memory_order_acquire); }

 private:
  std::atomic<Service*> service_{nullptr};
};

}  // namespace zu

#define ZU_EXPORT_SERVICE_CONTROL_BLOCK(expr)                                 \
  extern "C" __declspec(dllexport) ::zu::IPlatformService* GetServiceControlBlock() { \
    return (expr);                                                            \
  }
