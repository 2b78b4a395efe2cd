// placeholder, replaced by the plug-in
