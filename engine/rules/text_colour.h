#pragma once

namespace engine::rules {

// The text colour a console control shows its value or caption in: black when
// healthy, red when suspect.
enum class TextColour { Black, Red };

} // namespace engine::rules
