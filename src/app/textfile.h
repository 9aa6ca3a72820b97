// Line-by-line reading of the small text files the launcher consults (settings, release identity,
// changelog). Reading streams in chunks, so a huge or binary file costs time linear in its size.
#pragma once

#include <functional>
#include <string>
#include <string_view>

// Calls fn for each line of the file, without its line feed; a carriage return before the line
// feed stays (each reader strips it by its own rules). A last line without a line feed counts.
// fn returns false to stop reading. The result is false when the file cannot be opened or a read
// fails; lines delivered before a read error have been delivered.
bool forEachLine(const std::string& path, const std::function<bool(std::string_view)>& fn);

// The same lines, taken from text already in memory.
void forEachLineOfText(std::string_view text, const std::function<bool(std::string_view)>& fn);
