# crashreport_embed_options(<target> OPTIONS <file> [LINE_TABLE_GENERATOR <tool target>])
# Placeholder until the build tool lands; defined so that callers configure.
include_guard(GLOBAL)
function(crashreport_embed_options target)
endfunction()
