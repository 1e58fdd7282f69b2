// The virtual console's protocol peer lives in this folder.
