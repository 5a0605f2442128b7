// placeholder until the plug-in shell exists
