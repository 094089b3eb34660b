# The Wine settings of every run of the project, sourced by the set-up and the Wine scripts.
# No Mono or Gecko is installed into a prefix, and Wine makes no menu entries on the host.
kestrino_wine_dll_overrides="mscoree,mshtml=;winemenubuilder.exe=d"
