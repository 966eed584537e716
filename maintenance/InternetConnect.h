#pragma once
#include <optional>

// The connectivity test: whether the system reports a connection to a
// network beyond this machine. Nothing is sent over the network.
namespace InternetConnect {

bool IsConnected();

// Tests fix the answer; std::nullopt asks the system again.
void SetOverride(std::optional<bool> connected);

} // namespace InternetConnect
