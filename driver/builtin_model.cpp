#include "driver/builtin_model.h"

#include <map>
#include <memory>
#include <mutex>

#include "player/builtin_model_bytes.h"

namespace Kelp {

std::span<const uint8_t> builtInModelBytes() {
  return {BuiltInModel::BYTES, BuiltInModel::SIZE};
}

std::optional<const ValueModel*> sharedValueModel(const std::string& path, std::string* error) {
  static std::mutex lock;
  static std::map<std::string, std::unique_ptr<const ValueModel>> loaded;
  const std::scoped_lock hold(lock);
  if (const auto it = loaded.find(path); it != loaded.end()) return it->second.get();
  if (path.empty() && builtInModelBytes().empty()) return nullptr;
  std::string problem;
  std::optional<ValueModel> m = path.empty() ? ValueModel::fromBytes(builtInModelBytes(), &problem)
                                             : ValueModel::fromFile(path, &problem);
  if (!m) {
    if (error != nullptr) *error = path.empty() ? "the built-in value model: " + problem : problem;
    return std::nullopt;
  }
  auto& slot = loaded[path];
  slot = std::make_unique<const ValueModel>(std::move(*m));
  return slot.get();
}

}  // namespace Kelp
