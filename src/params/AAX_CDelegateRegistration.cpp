#include "params/AAX_CDelegateRegistration.h"

#include <mutex>

namespace {

// The live registrations, as a list threaded through them: registering allocates nothing.
std::mutex& RegistryLock() {
    static std::mutex lock;
    return lock;
}
AAX_CDelegateRegistration* gFirst = nullptr;

}  // namespace

AAX_CDelegateRegistration::AAX_CDelegateRegistration(const void* base, void* typed, int32_t kind) noexcept
    : base_(base), typed_(typed), kind_(kind) {
    const std::lock_guard<std::mutex> lock(RegistryLock());
    next_ = gFirst;
    if (gFirst != nullptr) gFirst->previous_ = this;
    gFirst = this;
}

AAX_CDelegateRegistration::~AAX_CDelegateRegistration() {
    const std::lock_guard<std::mutex> lock(RegistryLock());
    if (previous_ != nullptr) previous_->next_ = next_;
    if (next_ != nullptr) next_->previous_ = previous_;
    if (gFirst == this) gFirst = next_;
}

void* AAX_CDelegateRegistration::Find(const void* base, int32_t kind) noexcept {
    const std::lock_guard<std::mutex> lock(RegistryLock());
    for (const AAX_CDelegateRegistration* entry = gFirst; entry != nullptr; entry = entry->next_) {
        if (entry->base_ == base) return entry->kind_ == kind ? entry->typed_ : nullptr;
    }
    return nullptr;
}
