// OxRef: intrusive reference count whose last release destroys the object.
#pragma once

class OxRef {
public:
    OxRef() = default;
    virtual ~OxRef() = default;

    OxRef(const OxRef&) = delete;
    OxRef& operator=(const OxRef&) = delete;

    int refCount = 1;
};

// Lowers the count; below 1 the object is destroyed. A null pointer is skipped.
void OxRelease(OxRef* object);

// Adds a reference and returns the object, for a second owner. A null pointer is skipped.
template <class T>
T* OxRetain(T* object)
{
    if (object)
        ++object->refCount;
    return object;
}

// Releases *object and forgets the pointer.
template <class T>
void OxReleaseAndClear(T*& object)
{
    OxRelease(object);
    object = nullptr;
}

// Holds the one reference of a counted object and releases it on every way out.
template <class T>
class OxHolder {
public:
    explicit OxHolder(T* object = nullptr) : object_(object) {}
    ~OxHolder() { OxRelease(object_); }
    OxHolder(const OxHolder&) = delete;
    OxHolder& operator=(const OxHolder&) = delete;
    OxHolder(OxHolder&& other) noexcept : object_(other.Detach()) {}
    OxHolder& operator=(OxHolder&& other) noexcept
    {
        if (this != &other)
            Reset(other.Detach());
        return *this;
    }

    T* get() const { return object_; }
    T* operator->() const { return object_; }
    explicit operator bool() const { return object_ != nullptr; }

    // Gives the reference to the caller.
    T* Detach()
    {
        T* object = object_;
        object_ = nullptr;
        return object;
    }
    void Reset(T* object = nullptr)
    {
        OxRelease(object_);
        object_ = object;
    }

private:
    T* object_;
};
