// placeholder, replaced by the plug-in's Windows tests
