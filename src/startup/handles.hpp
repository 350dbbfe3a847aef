// The one handle registry. Commands take and return 32-bit ints, so objects are
// never handed out as pointers: each registry gives non-zero ids that are unique
// across every kind within a run and are not reused soon after a free.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>

namespace trelm {

// The next id of the process-wide sequence: 1 .. 2^31-1, then round again.
std::int32_t nextHandleId();

template <typename T>
class HandleRegistry {
public:
    std::int32_t add(std::unique_ptr<T> object) {
        std::int32_t id = nextHandleId();
        while (objects_.count(id)) id = nextHandleId();
        objects_.emplace(id, std::move(object));
        return id;
    }

    T* find(std::int32_t id) const {
        auto it = objects_.find(id);
        return it == objects_.end() ? nullptr : it->second.get();
    }

    // Unregisters and hands back the object (null for an unknown id).
    std::unique_ptr<T> remove(std::int32_t id) {
        auto it = objects_.find(id);
        if (it == objects_.end()) return nullptr;
        std::unique_ptr<T> object = std::move(it->second);
        objects_.erase(it);
        return object;
    }

    void clear() {
        // Destroy outside the map so an object's destructor may look at the registry.
        auto doomed = std::move(objects_);
        objects_.clear();
        doomed.clear();
    }

    std::size_t size() const { return objects_.size(); }
    bool empty() const { return objects_.empty(); }

    template <typename F>
    void forEach(F&& f) const {
        for (const auto& [id, object] : objects_) f(id, *object);
    }

private:
    std::unordered_map<std::int32_t, std::unique_ptr<T>> objects_;
};

}  // namespace trelm
