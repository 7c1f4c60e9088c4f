// libzarncap.so is assembled from the layer libraries; this unit only gives the target a source.
