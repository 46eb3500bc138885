mkdir dir.x
