#pragma once

namespace vetu
{

// The portable folder's starter (vetu-config.sh) runs the program through the dynamic loader, so
// the program cannot find Qt's plugins from its own location; the starter names the folder's
// plugins in VETU_PLUGIN_PATH. Called before the application object exists, this adds them to
// Qt's library paths. The variable is our own, so the programs this one starts (help viewers,
// the mail program) do not load the folder's plugins into a different Qt, and a restarted
// program finds them again.
void UsePortablePlugins();

} // namespace vetu
