BEGIN pricing option 1 (Devex)
   Pricing option 1
END
