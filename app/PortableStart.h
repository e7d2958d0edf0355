#pragma once

namespace vetu
{

// The portable folder's starter (vetu-config.sh) names Qt's plugins in QT_PLUGIN_PATH, since the
// program run by the dynamic loader cannot find them from its own location, and marks the start
// with VETU_PORTABLE_START. Once the application object has loaded its platform plugin, the
// variables are taken out of the environment again, so that the programs this one starts
// (help viewers, the mail program) do not load the folder's Qt plugins into a different Qt.
void ForgetPortableStartEnvironment();

} // namespace vetu
