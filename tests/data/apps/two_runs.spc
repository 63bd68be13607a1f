BEGIN first run
   Crash option 0
END
BEGIN second run
   Scale option 0
   Iterations limit 1
END
