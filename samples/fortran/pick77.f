C     Picking points with the mouse from Fortran 77, linked with -lLumo
C     alone: every button press in the window prints its button and world
C     coordinates; a key (or closing the window) ends.
      PROGRAM PICK
      INTEGER IR, N, K, IC
      REAL X, Y
      N = 0
      CALL LMOPEN(IR, N)
      CALL LMSETWORLD(IR, 0.0, 0.0, 10.0, 10.0)
      CALL LMLINE(IR, 0.0, 5.0, 10.0, 5.0)
      CALL LMLINE(IR, 5.0, 0.0, 5.0, 10.0)
   10 CALL LMWAITEVENT(IR, K, IC, X, Y)
      IF (IR .EQ. 0 .OR. K .EQ. 2) GOTO 20
      IF (K .EQ. 1) WRITE (*, '(A,I1,2F8.3)') 'CLICK ', IC, X, Y
      GOTO 10
   20 WRITE (*, '(A)') 'DONE'
      CALL LMQUIT(IR)
      END
