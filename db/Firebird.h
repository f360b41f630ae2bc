#pragma once

// The Firebird client's object-oriented interface with the little that every database file of ours needs:
// one status object per call, errors turned into our own failure type, and owning handles.

#include "base/Failure.h"
#include "db/DatabaseError.h"

#include <firebird/Interface.h>

#include <utility>

namespace vornic::fb {

Firebird::IMaster* master();
Firebird::IUtil* util();

// The database's own message for a failed call.
QString errorText(const Firebird::FbException& error);

// What every failed call becomes: the reason in the operator's words (databaseReason) with the database's own
// message kept beside it.
DatabaseError databaseError(const Firebird::FbException& error);

// The status of one call; a failure throws Firebird::FbException, which callers turn into a DatabaseError.
class Status final {
public:
    Status() : wrapper_(master()->getStatus()) {}
    ~Status() { wrapper_.dispose(); }
    Q_DISABLE_COPY_MOVE(Status)
    Firebird::ThrowStatusWrapper* operator&() { return &wrapper_; }

private:
    Firebird::ThrowStatusWrapper wrapper_;
};

// Owns one reference of a Firebird interface. The interfaces' own close/free/commit calls release the object
// when they succeed; after such a call the handle is told to forget() it.
template <class T> class Handle final {
public:
    Handle() = default;
    explicit Handle(T* object) : object_(object) {}
    ~Handle() { reset(); }
    Handle(Handle&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            reset();
            object_ = std::exchange(other.object_, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }
    void forget() { object_ = nullptr; }
    void reset(T* object = nullptr) {
        if (object_) {
            if constexpr (requires(T * o) { o->release(); })
                object_->release();
            else
                object_->dispose();
        }
        object_ = object;
    }

private:
    T* object_ = nullptr;
};

// A new parameter block for attaching to or making a database, holding the program's account (databaseAccount()).
// Throws Firebird::FbException.
Handle<Firebird::IXpbBuilder> accountDpb();

} // namespace vornic::fb
