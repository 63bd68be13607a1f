BEGIN pricing option 2 (steepest edge)
   Pricing option 2
END
