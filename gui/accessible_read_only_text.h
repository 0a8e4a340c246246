#pragma once

// Qt Quick's accessible text answers every offset with an empty attribute run, and Orca splits a
// line by those runs before it speaks it: it speaks no line of the help at all. Read-only text
// edits (the help, the log's path) get an accessible of their own, whose one run covers the whole
// text. Installed before the window is loaded, so that it is asked before Qt Quick's own.
void install_read_only_text_accessible();
