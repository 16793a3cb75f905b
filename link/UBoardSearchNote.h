// What a window says beside its status line while its poll finds no chip:
// the ports it tried where no board answered, the ports it could not open
// and why. The window and its tests share the words through this one
// function.
#pragma once

#include <string>
#include <vector>

#include "UPortAccess.h"

namespace korvane {

// The note after a poll that scanned Ports and found no chip: "Tried COM5,
// COM6: no board answered; check the board's power and its cable", the
// refused ports (RefusedPortsNote) after it, or the board that answered
// without a chip it knows (BannerSeen). Empty when the poll tried no port:
// the status line then says "Available port not found!".
std::string BoardSearchNote(const std::vector<std::string>& Ports,
                            const std::vector<TRefusedPort>& Refused, bool BannerSeen);

}  // namespace korvane
